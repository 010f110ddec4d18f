// SPDX-License-Identifier: MIT
#pragma once

#include "burnin/burnintablemodel.h"
#include "burnin/cburninsummary.h"
#include "shell/mainwindowpxy.h"

#include <QDialog>
#include <QTimer>

#include <memory>

class CBurnInJob;
class CDeviceQueue;
class Ui_TabBurnIn;

// The burn-in page: runs hundreds or thousands of cards unattended as one job of the main
// window's device queue, shows every card in a table and the totals in one line, and leaves a
// record of the run in results/. GUI thread; the run itself is on the thread pool.
class TabBurnIn : public QDialog, public MainWindowPxy
{
    Q_OBJECT

public:
    explicit TabBurnIn(QWidget *parent);
    ~TabBurnIn() override;

    BurnInTableModel &cards() { return m_cards; }
    const CBurnInSummary &summary() const { return m_summary; }

private slots:
    void on_BtnStart_clicked();
    void on_BtnStop_clicked();

private:
    void loadSettings();
    void saveSettings();
    void takeProgress();
    void setRunning(bool running);
    void log(const QString &line);

    Ui_TabBurnIn *ui;
    CDeviceQueue *m_pQueue; // not owned: the main window's, shared with its other pages
    BurnInTableModel m_cards;
    CBurnInSummary m_summary;
    // Shared with the queued job, which may still hold it when the page lets go.
    std::shared_ptr<CBurnInJob> m_job;
    QTimer m_progressTimer;
};
