// SPDX-License-Identifier: MIT
#pragma once

#include "engine/upload/cresultsforwarder.h"

#include <QString>

#include <functional>

// card-dispenser-burnin --upload: the station's backlog forwarded to the shared server on this
// thread, with no run, as the timer service starts it. One forwarder at a time on a station: a
// running burn-in forwards its own records and is left alone, and a window that forwards is
// waited for, at most a minute, before what it left is sent.
namespace BurnInUploadCommand {

// How long the upload waits for another process that forwards.
constexpr int kWaitForOtherMs = 60000;

struct Result
{
    int exitStatus = 0; // BurnInExitStatus: 0, 2 (no server) or 7 (not uploaded)
    QString message; // for standard output
    QString error; // why not, for standard error; empty when all went
    bool configured = false;
    ResultsUploadStatus status;
};

// say takes the lines to show while it works (that it waits for another process).
Result run(const QString &resultsFolder, const QString &serverText,
    const std::function<void(const QString &)> &say);

} // namespace BurnInUploadCommand
