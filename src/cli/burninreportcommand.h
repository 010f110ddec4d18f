// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninreport.h"

#include <QString>

#include <optional>

// card-dispenser-burnin --report RUN_ID: any recorded run with cards judged from its record
// and written as a new PDF, whatever ended it (a kill, a power cut, a stop). Needs the
// application object for the report's fonts; its thread.
namespace BurnInReportCommand {

struct Result
{
    int exitStatus = 0; // BurnInExitStatus: from the verdict and whether the run finished
    QString path; // the report written; empty when none was
    QString error; // why not, for standard error; empty when it was
    std::optional<BurnInReportData> data; // what the report shows, once the run was read
};

Result write(const QString &resultsFolder, const QString &runId);

} // namespace BurnInReportCommand
