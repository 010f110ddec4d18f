// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/burninoptions.h"

#include <QString>
#include <QStringList>

// The command line's options, read with QCommandLineParser and checked by the same code as the
// page's controls (BurnInConfig), on top of config.ini's defaults. Needs the application object
// for the program's name in the usage text; its thread.
class CBurnInCommandLine
{
public:
    enum class Action { Run, Report, Upload, Help, Version, Usage };

    struct Request
    {
        Action action = Action::Usage;
        BurnInOptions options; // checked, for a new run
        QString continueRunId; // a run cut short to go on with, instead of a new one
        QString reportRunId; // with Action::Report: the run to write the report of
        // The limits in force for the start line, each with where it came from (an option or
        // config.ini), e.g. "限值 MCBF ≥ 100 次（--target-mcbf）  置信度 90%（默认）"; a new run's.
        QString limitsShown;
        bool json = false; // also set with Usage, when --json was among the arguments
        bool quiet = false;
        QString text; // the usage or version text for Help and Version, the error for Usage
    };

    // arguments as main() has them, the program's name first; defaults as config.ini gives them
    static Request parse(const QStringList &arguments, const BurnInOptions &defaults);
    // The whole help, the exit statuses included.
    static QString usage();
    // Its first line.
    static QString usageLine();
};
