// SPDX-License-Identifier: MIT
#include "cli/burninexitstatus.h"

namespace BurnInExitStatus {

namespace {

int fromNotBegun(CBurnInProgress::NotBegun notBegun)
{
    switch (notBegun) {
    case CBurnInProgress::NotBegun::No:
        break;
    case CBurnInProgress::NotBegun::Stopped:
        return Stopped;
    case CBurnInProgress::NotBegun::DeviceBusy:
        return NoDevice;
    case CBurnInProgress::NotBegun::RecordFailed:
        return RecordFailed;
    case CBurnInProgress::NotBegun::NoSuchRun:
    case CBurnInProgress::NotBegun::RunDone:
        return Usage;
    case CBurnInProgress::NotBegun::RunFailed:
        return Failed;
    }
    return RecordFailed;
}

} // namespace

// A record that could not be written outweighs every other end: nothing else about the run can
// be trusted. A signal comes next, since the person who sent it asked for the run to end.
int fromOutcome(const CBurnInProgress::Outcome &outcome)
{
    if (outcome.notBegun != CBurnInProgress::NotBegun::No)
        return fromNotBegun(outcome.notBegun);
    if (outcome.recordFailed || !outcome.end)
        return RecordFailed;
    const bool failed = outcome.verdict == Qualification::Verdict::Fail;
    switch (*outcome.end) {
    case CBurnInRun::End::RecordFailed:
        return RecordFailed;
    case CBurnInRun::End::Stopped:
    case CBurnInRun::End::Interrupted:
        return Stopped;
    case CBurnInRun::End::Completed:
        return failed ? Failed : Passed;
    case CBurnInRun::End::StoppedOnFailure:
    case CBurnInRun::End::FailureStreak:
    case CBurnInRun::End::VerdictSettled:
        return Failed;
    case CBurnInRun::End::BoxEmpty:
    case CBurnInRun::End::CardLeftAtFront:
    case CBurnInRun::End::ChannelBlocked:
        return failed ? Failed : Undecided;
    }
    return RecordFailed;
}

QString helpText()
{
    return QStringLiteral(
        "Exit status:\n"
        "  0  the planned cards done and passed, or done without limits\n"
        "  1  failed: a limit missed, five failures in a row, the target out\n"
        "     of reach; or a failing card ended a run with --stop-on-failure\n"
        "  2  bad usage: an unknown option or a value out of range\n"
        "  3  no device: ./lib/libvarnak_c.so missing or refused, or the device held\n"
        "     by another process (named on standard error)\n"
        "  4  stopped by SIGINT or SIGTERM\n"
        "  5  the record (database, CSV, log or report) could not be written\n"
        "  6  ended early (box empty, bin full, a card left in the channel), not\n"
        "     judged yet: go on with --continue RUN_ID\n");
}

} // namespace BurnInExitStatus
