// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninreport.h"

#include <QString>

#include <optional>

class CResultsStore;

// A run's report as the station's database holds it, over all of its stretches: the one source
// of a report, whether the run has just ended or is chosen from the history. On the thread that
// owns the store; the chart's series is built here, so that only the writing is left to the GUI
// thread. None, with *error set, when the run cannot be read.
std::optional<BurnInReportData> loadBurnInReport(
    CResultsStore &store, const QString &runId, QString *error);

// A new file for the run's report beside its CSV, which no earlier report has: the CSV's name
// with .pdf for .csv, or with "-2", "-3"… before .pdf once that is taken. A report never
// replaces another: a QA engineer may have signed it.
QString burnInReportPath(const QString &csvPath);
