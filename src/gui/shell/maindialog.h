// SPDX-License-Identifier: MIT
#pragma once

#include "engine/device/cdevicequeue.h"
#include "engine/device/zov_sdk.h"
#include "gui/config/configdialog.h"
#include "gui/shell/clogqueue.h"
#include "gui/shell/customtopbardialog.h"
#include "gui/shell/tabpage.h"

#include <QTimer>

#include <memory>
#include <vector>

class CStation;
class QModelIndex;
class TabBurnIn;
class Ui_MainDialog;

// The one main window: page list, page stack and log pane. Owns the device library loader and
// the settings dialog; pages reach both through MainWindowPxy. GUI thread only, but for postLog.
class MainDialog : public CustomTopBarDialog
{
    Q_OBJECT

public:
    explicit MainDialog(QWidget *parent = nullptr);
    ~MainDialog() override;

    // Appends one line to the log pane and scrolls to it.
    void Log(const QString &str);
    // Any thread. On the GUI thread this is Log; from another thread the line reaches the log
    // pane later, on the GUI thread, after the lines posted before it.
    void postLog(const QString &str);

    int getCom();
    char getBP();
    int getBaud();
    // Shows the communication settings dialog, modal but without blocking; its finished() tells
    // when it is closed, saved or not.
    void showComSettings();
    const ConfigDialog &comSettingsDialog() const { return m_configDlg; }

    ZOV_SDK *sdk() { return &m_sdk; }
    // The one path to the device for every page.
    CDeviceQueue &deviceQueue() { return m_deviceQueue; }
    // The burn-in page, built here the first time it is asked for or picked in the page list.
    TabBurnIn *burnInPage();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_pushButton_2_clicked();
    void on_listWidget_clicked(const QModelIndex &index);
    void on_pushButton_clicked();

private:
    void drainLog();
    void appendLines(const QStringList &lines);

    ZOV_SDK m_sdk;
    // Declared after the loader, so that it stops before the library is unloaded.
    CDeviceQueue m_deviceQueue;
    Ui_MainDialog *ui;
    ConfigDialog m_configDlg;
    std::vector<std::unique_ptr<TabPage>> m_vecPages;
    TabBurnIn *m_pBurnIn = nullptr; // the page stack owns it once built
    std::unique_ptr<CStation> m_station; // the burn-in page's, made with it
    CLogQueue m_pendingLog;
    QTimer m_nextLogSlice;
};
