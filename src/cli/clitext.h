// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninprogress.h"
#include "engine/burnin/cburninreport.h"
#include "engine/upload/cresultsforwarder.h"

#include <QJsonObject>
#include <QString>

// What the command line writes about a run: the progress line and the end summary for machines.
// Plain functions of plain data, on any thread.
namespace CliText {

// e.g. "老化 120/2000 张  通过 118  失败 2  通过率 98.3%  演示 MCBF 31 次（90%）  已用 0:02:00
// 剩余 0:31:20"; the remaining time from this stretch's pace, "--" before its first card.
QString progressLine(const BurnInFigures &figures, const Qualification::Plan &limits, int firstCard,
    qint64 elapsedMs);

// The run's end as one JSON object: how it ended, the verdict, the figures and the files.
// elapsedNs is this process's whole run, libraryNs its time inside library calls.
QJsonObject summary(const CBurnInProgress::Snapshot &run, int exitStatus, const QString &reportPath,
    qint64 elapsedNs, qint64 libraryNs);

// The engine's end as a key for machines, e.g. "boxEmpty".
QString endKey(CBurnInRun::End end);

// Where the upload to the shared server stands: configured, forwarded and queued cards, the runs
// held back for a name that is not the login, and the last server error (empty when none).
QJsonObject upload(bool configured, const ResultsUploadStatus &status);
// An exit before any run: bad usage, a missing library; error says why.
QJsonObject failure(int exitStatus, const QString &error);
// --report's answer: the run's figures and verdict as its report shows them.
QJsonObject report(const QString &runId, int exitStatus, const QString &reportPath,
    const QString &error, const BurnInReportData *data);

} // namespace CliText
