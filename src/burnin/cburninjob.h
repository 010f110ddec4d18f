// SPDX-License-Identifier: MIT
#pragma once

#include "burnin/burninrecord.h"
#include "burnin/cburninrun.h"
#include "burnin/cburninsummary.h"
#include "burnin/cburninwriter.h"

#include <QString>
#include <QVector>

#include <functional>
#include <mutex>
#include <optional>

// One burn-in run as a job of the device queue: it runs the sequence, writes the record on disk
// as it goes, sends one line per card to the log pane and keeps the finished cards for the page,
// which takes them on its own timer rather than in one event per card.
// exec() runs on the job's pool thread; the rest may be called from any thread.
class CBurnInJob final : private CBurnInSink
{
public:
    using LogLine = std::function<void(const QString &line)>;

    CBurnInJob(const ZOV_SDK &sdk, CTestGate &gate, const BurnInSettings &settings, QString folder,
        LogLine log);

    void exec();
    void requestStop();

    struct Progress
    {
        QVector<BurnInRecord> cards; // finished since the last take
        bool finished = false; // no card comes after these
        bool started = false; // the record files were opened and the run began
    };
    Progress take();
    // Set once exec() has opened them.
    QString csvPath() const;
    QString logPath() const;

private:
    void stepDone(int card, BurnInStep step, int code, qint64 ms) override;
    void cardDone(const BurnInRecord &record) override;

    const BurnInSettings m_settings;
    const QString m_folder;
    const LogLine m_log;
    CBurnInRun m_run;
    CBurnInWriter m_writer; // the run's thread only
    CBurnInSummary m_summary; // the run's thread only, for the end line

    mutable std::mutex m_mutex;
    Progress m_progress;
    QString m_csvPath;
    QString m_logPath;
};

// The log pane's line for one card: index, number, result, seconds and a failure's step and code.
QString burnInCardLine(const BurnInRecord &record);
// Why a run ended, for the operator.
QString burnInEndText(CBurnInRun::End end);
