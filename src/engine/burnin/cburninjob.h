// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninprogress.h"
#include "engine/burnin/cburninrun.h"
#include "engine/burnin/cburninsummary.h"
#include "engine/burnin/qualification.h"
#include "engine/records/burninunit.h"
#include "engine/store/cburninwriter.h"
#include "engine/store/cresultsstore.h"

#include <QRunnable>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

// One burn-in run as a job of the device queue, which owns it: it runs the sequence, writes the
// record as it goes (each card into the station database, then into the CSV and the step log),
// keeps the run's figures, and tells the log pane how the run goes
// (its start and end, each failed or repeated card, and every hundredth card) while every card
// goes into the record and to the page's progress. Runs on the job's pool thread; the log
// function is called there.
class CBurnInJob final : public QRunnable, private CBurnInSink
{
public:
    using LogLine = std::function<void(const QString &line)>;
    // figures over all stretches of the run; firstCard is this stretch's first card
    using ProgressLine = std::function<QString(
        const BurnInFigures &figures, const Qualification::Plan &limits, int firstCard)>;
    static constexpr int kProgressLineCards = 100;
    // Passed cards with a repeated number each get a pane line up to this many in a sitting; the
    // progress lines count the rest, so a reader that answers one number for every card cannot
    // fill the pane.
    static constexpr int kDuplicateLines = 20;

    struct Plan
    {
        // A new run's; a run that goes on keeps those it was created with.
        BurnInSettings settings;
        BurnInUnit unit; // checked (BurnInInput::checkUnit)
        Qualification::Plan limits; // its plannedCards is settings.cards
        // The run to go on with from its next card; empty for a new run.
        QString continueRunId;
        QString resultsFolder; // absolute
        QString station;
        QString libraryPath; // the loaded device library, for the record
        // The pane line every kProgressLineCards cards, for a front end that words it its own
        // way; unset, burnInProgressLine. An empty line is left out. Called on the job's thread,
        // in order with the other lines.
        ProgressLine progressLine;
        // The limits as the start line of a new run names them, e.g. "限值 MCBF ≥ 100 次
        // （--target-mcbf）" with where each came from; empty: "限值 " and
        // Qualification::limitsText, or nothing for a run without limits.
        QString limitsShown;
        // The start and end lines end with the run's ID, for a front end whose user types it.
        bool namesRunId = false;
    };

    CBurnInJob(CDeviceLink &link, CTestGate &gate, Plan plan, LogLine log,
        std::shared_ptr<CBurnInProgress> progress);

    // Holds the working folder's station lock and the station database for the whole run.
    void run() override;
    // A driver host has started and loaded the library; on the run's thread.
    void hostStarted();

private:
    bool beginRun(CResultsStore &store);
    bool continueRun(CResultsStore &store);
    void notBegun(CBurnInProgress::NotBegun kind, const QString &why,
        Qualification::Verdict verdict = Qualification::Verdict::Undecided, int openCode = 0);
    // The sitting's first open, before anything of it is written.
    struct FirstOpen
    {
        bool stopped = false; // the gate refused it, or the run was abandoned
        std::optional<int> code; // the library's; unset when the open did not return
        QString result; // the code, or what became of the call; empty when no host ran it
        std::optional<ResultsEventKind> fault; // DriverHang or DriverCrash
        QString why; // of a call that did not return
        QString text() const;
    };
    FirstOpen openDevice();
    bool settled(const QVector<BurnInRecord> &recorded);
    QString runIdText() const;
    QString unitText() const;
    void stepDone(int card, BurnInStep step, int code, qint64 ms, BurnInOutcome outcome) override;
    void driverFault(ResultsEventKind kind, const QString &reason) override;
    bool cardDone(const BurnInRecord &record) override;
    bool verdictSettled() const override;
    CBurnInProgress::Outcome endStretch(CBurnInRun::End end, const CBurnInRun &run);
    QString endReason(CBurnInRun::End end, const CBurnInRun &run) const;
    bool addEvent(ResultsEventKind kind, const QString &reason = QString());
    bool recordFailed() const;

    CDeviceLink &m_link;
    CTestGate &m_gate;
    Plan m_plan;
    const LogLine m_log;
    const std::shared_ptr<CBurnInProgress> m_progress;
    // The run's thread only, from here on.
    CResultsStore *m_store = nullptr; // run()'s own, while it runs
    QString m_runId;
    QString m_librarySha256;
    QSet<QString> m_seenNumbers; // of the cards recorded before this stretch
    CBurnInWriter m_writer;
    CBurnInSummary m_summary;
    QString m_storeError;
    bool m_eventFailed = false; // an end event could not be written
    int m_duplicateLines = 0; // repeated numbers shown in the pane this sitting
    int m_hostStarts = 0; // this sitting's
};

// The log pane's line for one card: index, number, result, device seconds and a failure's step
// and code.
QString burnInCardLine(const BurnInRecord &record);
// The log pane's line every hundred cards; the repeated card numbers once there are any.
QString burnInProgressLine(const BurnInFigures &figures);
// Why the dispenser could not be opened, with what to look at, e.g. "无法打开设备（打开设备：
// -19），请检查端口、线缆和电源".
QString burnInOpenFailedText(int code);
// The same for an open whose result was not a code, e.g. "无响应".
QString burnInOpenFailedText(const QString &result);
// Why a run is not continued: its verdict is settled.
QString burnInSettledText(Qualification::Verdict verdict, bool allDone);
// Why a run ended, for the operator.
QString burnInEndText(CBurnInRun::End end);
// The verdict line of a run with limits, e.g. "判定：不合格  演示 MCBF 28 次（置信度 90%，
// T = 300，r = 6）  限值 MCBF ≥ 100 次（置信度 90%）".
QString burnInVerdictLine(const Qualification::Plan &plan, const BurnInFigures &figures);
