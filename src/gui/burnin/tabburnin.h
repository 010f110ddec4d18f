// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninjob.h"
#include "engine/burnin/cburninsummary.h"
#include "engine/burnin/qualification.h"
#include "engine/records/resultsrun.h"
#include "engine/settings/comsettings.h"
#include "gui/burnin/cburnintablemodel.h"
#include "gui/shell/mainwindowpxy.h"

#include <QDialog>
#include <QTimer>

#include <memory>
#include <optional>

class CBurnInCardsView;
class CBurnInFailuresView;
class CBurnInHistoryView;
class CBurnInInputs;
class CBurnInVerdictView;
class CBurnInProgress;
class CStation;
class ChartPlan;
class QKeyEvent;
class Ui_TabBurnIn;

// The burn-in page: the form of a run and its controls. It hands each run to the window's
// station, which runs hundreds or thousands of cards unattended, leaves their record in
// results/ and forwards it to the results server; the page shows the cards in a table or a
// chart, the totals in one line, the failure modes, the verdict against the limits the unit is to
// meet, and the station's earlier runs (or with a server every station's), which it opens again
// and reports on. Each of those is a view of its own, made by the page. GUI thread.
class TabBurnIn : public QDialog, public MainWindowPxy
{
    Q_OBJECT

public:
    // parent: the main window, whose station this is.
    TabBurnIn(CStation &station, QWidget *parent);
    ~TabBurnIn() override;

    CBurnInTableModel &cards();
    // The figures of the cards on show: the running or last run's, or one opened from the history.
    const BurnInFigures &figures() const { return m_figures; }
    // The runs the history list shows, newest first: this station's, or with 全部工位 the server's.
    const QVector<ResultsRunSummary> &runs() const;

signals:
    // The history list was filled anew, or an opened run is on show.
    void historyScanned();
    void runOpened();
    // A run's PDF report was written to path.
    void reportWritten(const QString &path);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void on_BtnStart_clicked();
    void on_BtnStop_clicked();
    void on_BtnResume_clicked();
    void on_BtnShowTable_clicked();
    void on_BtnShowChart_clicked();
    void on_BtnShowFailures_clicked();
    void on_BtnShowHistory_clicked();
    void on_BtnSaveChart_clicked();
    void on_BtnReport_clicked();

private:
    void inputsChanged();
    // What the next run opens: the fixed connection, or the dialog's as its accessors give it.
    ComSettings chosenConnection() const;
    void showConnection();
    // The chosen connection, or none after a line saying why it cannot be opened.
    std::optional<ComSettings> usableConnection();
    void showQualification();
    void takeProgress();
    void setRunning(bool running);
    void log(const QString &line);
    void showView(QWidget *view);
    // The plan chart beside the run's CSV, its name with "-plan" added; a line for the log pane.
    QString savePlanChart(const QString &csvPath) const;
    void clearCards(BurnInMode mode, int reserve = 0);
    void addCards(const QVector<BurnInRecord> &cards, const BurnInFigures &figures);
    void startRun(CBurnInJob::Plan plan);
    void updateRunActions();
    void openRun(const ResultsRunSummary &run);
    void showRun(const ResultsRunSummary &run, const QVector<BurnInRecord> &cards,
        const BurnInFigures &figures, const QString &error);

    Ui_TabBurnIn *ui;
    CStation &m_station; // the main window's
    CBurnInCardsView *m_cardsView; // children of the page
    CBurnInFailuresView *m_failuresView;
    CBurnInHistoryView *m_historyView;
    CBurnInInputs *m_inputs;
    CBurnInVerdictView *m_verdictView;
    ChartPlan *m_planChart; // a child of the page, in the table's place like the seconds chart
    BurnInFigures m_figures;
    // The limits of the cards on show, their plannedCards filled in.
    Qualification::Plan m_limits;
    // LabelMcbf shows what the cards on show demonstrate, rather than what the next run needs.
    bool m_showsRun = false;
    QString m_runSerial; // the unit's, of the run under way
    // The run under way, shared with its job.
    std::shared_ptr<CBurnInProgress> m_run;
    QTimer m_progressTimer;
    // The CSV of the cards on show: the running or last run's, or one opened from the history.
    QString m_shownCsv;
};
