// SPDX-License-Identifier: MIT
#pragma once

#include "burnin/cburninprogress.h"
#include "burnin/cburninrun.h"
#include "burnin/cburninsummary.h"
#include "burnin/cburninwriter.h"

#include <QRunnable>
#include <QString>

#include <functional>
#include <memory>

// One burn-in run as a job of the device queue, which owns it: it runs the sequence, writes the
// record on disk as it goes, keeps the run's figures, and tells the log pane how the run goes
// (its start and end, each failed or repeated card, and every hundredth card) while every card
// goes into the record and to the page's progress. Runs on the job's pool thread; the log
// function is called there.
class CBurnInJob final : public QRunnable, private CBurnInSink
{
public:
    using LogLine = std::function<void(const QString &line)>;

    static constexpr int kProgressLineCards = 100;

    CBurnInJob(const ZOV_SDK &sdk, CTestGate &gate, const BurnInSettings &settings, QString folder,
        LogLine log, std::shared_ptr<CBurnInProgress> progress);

    void run() override;

private:
    void stepDone(int card, BurnInStep step, int code, qint64 ms) override;
    bool cardDone(const BurnInRecord &record) override;
    QString endReason(CBurnInRun::End end) const;

    const BurnInSettings m_settings;
    const QString m_folder;
    const LogLine m_log;
    const std::shared_ptr<CBurnInProgress> m_progress;
    CBurnInRun m_run;
    CBurnInWriter m_writer;
    CBurnInSummary m_summary;
};

// The log pane's line for one card: index, number, result, device seconds and a failure's step
// and code.
QString burnInCardLine(const BurnInRecord &record);
// The log pane's line every hundred cards.
QString burnInProgressLine(const BurnInFigures &figures);
// Why a run ended, for the operator.
QString burnInEndText(CBurnInRun::End end);
