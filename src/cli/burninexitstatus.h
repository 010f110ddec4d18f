// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninprogress.h"

#include <QString>

// The command line's exit status. The cases that depend on the verdict (0, 1, 6) take it from
// the job's outcome, which the one rule table (Qualification::judge) decided; only the engine's
// own ends (stopped on failure, a failure streak) and the failures of the front end are added
// here.
namespace BurnInExitStatus {

enum Status {
    Passed = 0, // the planned cards done and 合格, or done without limits
    Failed = 1, // 不合格, or a failing card ended a run that stops on failure
    Usage = 2,
    NoDevice = 3, // no library, or another process holds the device
    Stopped = 4, // by a signal
    RecordFailed = 5,
    Undecided = 6, // ended early for a reason that --continue takes on
    NotUploaded = 7, // --upload: the server could not be reached, or refused the records
};

int fromOutcome(const CBurnInProgress::Outcome &outcome);
// A run judged from its record: by the verdict and whether every planned card is recorded, never
// by how it was stopped. 0 passed, or finished with nothing to judge; 1 failed; 6 neither.
int fromReport(Qualification::Verdict verdict, bool finished);
// The exit statuses for --help, one per line.
QString helpText();

} // namespace BurnInExitStatus
