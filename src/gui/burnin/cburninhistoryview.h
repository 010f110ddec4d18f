// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/resultsrun.h"
#include "engine/upload/resultsfleet.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVector>

class CStation;
class QListWidgetItem;
class Ui_TabBurnIn;

// The burn-in page's history: the station's runs in ListRuns, newest first, or with a server and
// 全部工位 in ComboScope every station's runs with each model's pooled figures above them, and
// EditFilter narrowing both. The station reads them; this shows them. A child of the page. GUI
// thread.
class CBurnInHistoryView : public QObject
{
    Q_OBJECT

public:
    CBurnInHistoryView(CStation &station, Ui_TabBurnIn &form, QObject *page);

    // The runs the list shows, newest first.
    const QVector<ResultsRunSummary> &runs() const { return m_runs; }
    bool isShown() const;
    // Reads the list anew.
    void scan();
    // The run chosen while the list is on show, of this station's; null without one.
    const ResultsRunSummary *chosenRun() const;
    // The models' figures are shown at the page's confidence, which may change while they are.
    void setConfidence(int confidence);

    static bool resumable(const ResultsRunSummary &run);
    static bool reportable(const ResultsRunSummary &run);

signals:
    // The list was filled anew.
    void scanned();
    void chosenChanged();
    // One of this station's runs was activated in the list.
    void openRequested(const ResultsRunSummary &run);
    // For the log pane.
    void line(const QString &text);

private:
    bool fleetShown() const;
    void showHistory(const QVector<ResultsRunSummary> &runs, const QStringList &skipped,
        const QStringList &notices);
    // A line for each read of the server that failed, saying why, the models' lines, then the
    // runs.
    void fill(const QVector<ResultsFleet::ModelFigures> &models,
        const QVector<ResultsRunSummary> &runs, const QStringList &failures = {});
    // The fleet's runs, under its models as last read.
    void fillFleet(const QVector<ResultsRunSummary> &runs);
    void showModelLines();
    void filter();
    // The run of a row of ListRuns; -1 for a model's line and the like.
    int runIndex(int row) const;
    void activated(QListWidgetItem *item);

    CStation &m_station;
    Ui_TabBurnIn &m_form;
    QVector<ResultsRunSummary> m_runs;
    // Lines of ListRuns above the runs: the models' figures, or why the server could not be read.
    QVector<ResultsFleet::ModelFigures> m_models;
    int m_headRows = 0;
    // The fleet's last answers: its page and its models arrive apart.
    QVector<ResultsFleet::ModelFigures> m_fleetModels;
    QString m_pageFailure;
    QString m_modelsFailure;
    bool m_fleetListed = false; // the list holds the fleet's runs, not the station's
    int m_confidence = 0;
    QSet<QString> m_reportedSkips;
};
