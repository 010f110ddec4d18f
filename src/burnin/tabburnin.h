// SPDX-License-Identifier: MIT
#pragma once

#include "burnin/burnintablemodel.h"
#include "burnin/cburninjob.h"
#include "burnin/cburninsummary.h"
#include "burnin/cfailuremodes.h"
#include "burnin/failuremodetablemodel.h"
#include "burnin/qualification.h"
#include "config/comsettings.h"
#include "results/cresultsforwarder.h"
#include "results/cresultsstore.h"
#include "results/resultsfleet.h"
#include "shell/mainwindowpxy.h"

#include <QDialog>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

#include <memory>
#include <optional>

class CBurnInProgress;
class ChartCards;
class CDeviceQueue;
class QKeyEvent;
class QListWidgetItem;
class Ui_TabBurnIn;

// The burn-in page: runs hundreds or thousands of cards unattended as one job of the main
// window's device queue, shows every card in a table or a chart, the totals in one line, the
// failure modes, and the verdict against the limits the unit is to meet, and leaves a record of
// the run in results/ (with a PDF report for a unit with a serial), whose earlier runs it lists,
// opens again and reports on. With a results server in config.ini, it forwards the station's
// records there for as long as it exists, and its history also lists every station's runs from
// the server with each model's pooled figures. GUI thread; the run is on the global thread pool,
// the station database and the server are read on a pool of the page's own, and the upload has a
// thread of its own.
class TabBurnIn : public QDialog, public MainWindowPxy
{
    Q_OBJECT

public:
    explicit TabBurnIn(QWidget *parent);
    ~TabBurnIn() override;

    BurnInTableModel &cards() { return m_cards; }
    // The figures of the cards on show: the running or last run's, or one opened from the history.
    const BurnInFigures &figures() const { return m_figures; }
    // The runs the history list shows, newest first: this station's, or with 全部工位 the server's.
    const QVector<ResultsRunSummary> &runs() const { return m_runs; }

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
    void on_ListRuns_itemActivated(QListWidgetItem *item);
    void on_EditFilter_textChanged();

private:
    void loadSettings();
    void saveSettings(const BurnInUnit &unit);
    int confidence() const;
    // The limits as the inputs set them, for a run of SpinCount cards.
    Qualification::Plan inputLimits() const;
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
    void clearCards(BurnInMode mode);
    void addCards(const QVector<BurnInRecord> &cards, const BurnInFigures &figures);
    void startJob(CBurnInJob::Plan plan);
    static QString resultsFolder();
    static QString station();
    static bool resumable(const ResultsRunSummary &run);
    static bool reportable(const ResultsRunSummary &run);
    // The run chosen in the history while it is on show; null without one.
    const ResultsRunSummary *chosenRun() const;
    void updateRunActions();
    void filterHistory();
    void writeReport(const QString &runId, const QString &csvPath);
    void scanHistory();
    void showHistory(const QVector<ResultsRunSummary> &runs, const QStringList &skipped,
        const QStringList &notices);
    bool fleetShown() const;
    void scanFleet();
    // The models' lines, then the runs; or, when the server could not be read, one line saying why.
    void fillHistory(const QVector<ResultsFleet::ModelFigures> &models,
        const QVector<ResultsRunSummary> &runs, const QString &failure = QString());
    void showModelLines();
    // The run of a row of ListRuns; -1 for a model's line and the like.
    int runIndex(int row) const;
    void startUpload();
    void showUpload(const ResultsUploadStatus &status);
    void showRun(const ResultsRunSummary &run, const QVector<BurnInRecord> &cards,
        const BurnInFigures &figures);

    Ui_TabBurnIn *ui;
    ChartCards *m_chart; // a child of the page
    CDeviceQueue *m_pQueue; // not owned: the main window's, shared with its other pages
    BurnInTableModel m_cards;
    BurnInFigures m_figures;
    CFailureModes m_failureModes;
    FailureModeTableModel m_failureTable;
    // The limits of the cards on show, their plannedCards filled in.
    Qualification::Plan m_limits;
    // LabelMcbf shows what the cards on show demonstrate, rather than what the next run needs.
    bool m_showsRun = false;
    QString m_runSerial; // the unit's, of the run under way
    // The run under way, shared with its job, which the device queue owns.
    std::shared_ptr<CBurnInProgress> m_run;
    QTimer m_progressTimer;
    // The CSV of the cards on show: the running or last run's, or one opened from the history.
    QString m_shownCsv;
    QVector<ResultsRunSummary> m_runs;
    // Lines of ListRuns above the runs: the models' figures, or why the server could not be read.
    QVector<ResultsFleet::ModelFigures> m_models;
    int m_headRows = 0;
    // [results] server as the page was built; empty for none.
    QString m_serverText;
    // Only with a server; finished, within a bounded wait, before the page goes.
    std::unique_ptr<CResultsUpload> m_upload;
    QSet<QString> m_reportedSkips;
    // Reading a long run's CSV takes seconds; a scan or an opened run that a newer one has
    // overtaken is dropped on arrival.
    QThreadPool m_readers;
    int m_readSerial = 0;
};
