// SPDX-License-Identifier: MIT
#pragma once

#include "burnin/burninrecord.h"
#include "burnin/cburninreader.h"
#include "results/cresultsstore.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// One run found in the results folder, as the page's history list shows it. Plain data, built on
// a worker thread and handed to the GUI's.
struct BurnInRunInfo
{
    QString csvPath; // absolute
    // From the file name, to the second; from the first card when the name does not tell it.
    QDateTime started;
    std::optional<BurnInMode> mode; // none while the file holds no card
    int cards = 0;
    int passed = 0;
    // First card's start to the last card's end; 0 without cards.
    qint64 durationMs = 0;
    // The last row was half written: the run was interrupted.
    bool cutShort = false;
    int skippedRows = 0;
    // The CSV being written now: its figures are as far as written, and it is not cut short but
    // unfinished.
    bool inProgress = false;

    // 0..100; 0 without cards.
    double passRate() const;
    // e.g. "2026-12-08 10:25:32  回收  120 张  通过率 98.3%  用时 00:02:05", then "  (中断)" or
    // "  (进行中)".
    QString label() const;
};

// Every burnin-*.csv in folder, newest first; runs of the same second in the order they started.
// inProgressPath, if not empty, is the CSV being written: it is listed even while its column
// titles are not yet on disk. A file that is not a burn-in CSV is left out and described in
// *skipped as "<file>：<reason>"; other names are not looked at. Reads every file whole, which
// takes seconds for long runs, so call it off the GUI thread; it shares nothing and may run on
// any thread.
QVector<BurnInRunInfo> scanBurnInRuns(
    const QString &folder, const QString &inProgressPath, QStringList *skipped);

// Reads a run chosen from the history for display. A run in progress is refused with an error:
// its rows are still coming and its own page shows them.
BurnInCsv openBurnInRun(const BurnInRunInfo &run);

// What the page shows above a run it opened: the error, or what is missing from the record
// ("记录不完整：运行被中断，已读出 N 张"); empty when the file held the whole run.
QString burnInRunNotice(const BurnInCsv &csv);

// The history list's line for a run of the station database, e.g. "2026-12-08 10:25:32  kiosk7
// 回收  120/500 张  通过率 98.3%  用时 00:02:05  中断".
QString burnInHistoryLabel(const ResultsRunSummary &run);
