// SPDX-License-Identifier: MIT
#include "cli/burninexitstatus.h"

namespace BurnInExitStatus {

namespace {

int fromNotBegun(const CBurnInProgress::Outcome &outcome)
{
    switch (outcome.notBegun) {
    case CBurnInProgress::NotBegun::No:
        break;
    case CBurnInProgress::NotBegun::Stopped:
        return Stopped;
    case CBurnInProgress::NotBegun::DeviceBusy:
    case CBurnInProgress::NotBegun::DeviceUnavailable:
        return NoDevice;
    case CBurnInProgress::NotBegun::RecordFailed:
        return RecordFailed;
    case CBurnInProgress::NotBegun::NoSuchRun:
        return Usage;
    case CBurnInProgress::NotBegun::RunSettled:
        return outcome.verdict == Qualification::Verdict::Fail ? Failed : Passed;
    }
    return RecordFailed;
}

} // namespace

// A record that could not be written outweighs every other end: nothing else about the run can
// be trusted. A signal comes next, since the person who sent it asked for the run to end.
int fromOutcome(const CBurnInProgress::Outcome &outcome)
{
    if (outcome.notBegun != CBurnInProgress::NotBegun::No)
        return fromNotBegun(outcome);
    if (outcome.recordFailed || !outcome.end)
        return RecordFailed;
    const bool failed = outcome.verdict == Qualification::Verdict::Fail;
    switch (*outcome.end) {
    case CBurnInRun::End::RecordFailed:
        return RecordFailed;
    case CBurnInRun::End::Stopped:
    case CBurnInRun::End::Interrupted:
    case CBurnInRun::End::Abandoned:
        return Stopped;
    case CBurnInRun::End::Completed:
        return failed ? Failed : Passed;
    case CBurnInRun::End::FailureStreak:
        return Failed;
    // A plan decides either way, on the card that ends the run too.
    case CBurnInRun::End::StoppedOnFailure:
    case CBurnInRun::End::VerdictSettled:
        return outcome.verdict == Qualification::Verdict::Pass ? Passed : Failed;
    case CBurnInRun::End::BoxEmpty:
    case CBurnInRun::End::CardLeftAtFront:
    case CBurnInRun::End::ChannelBlocked:
    case CBurnInRun::End::DeviceLost:
    case CBurnInRun::End::HostLost:
    case CBurnInRun::End::SittingFull:
        return failed ? Failed : Undecided;
    }
    return RecordFailed;
}

int fromReport(Qualification::Verdict verdict, bool finished)
{
    switch (verdict) {
    case Qualification::Verdict::Pass:
        return Passed;
    case Qualification::Verdict::Fail:
        return Failed;
    case Qualification::Verdict::Undecided:
        break;
    }
    return finished ? Passed : Undecided;
}

QString helpText()
{
    return QStringLiteral(
        "Exit status:\n"
        "  0  the planned cards done and passed, or done without limits; or\n"
        "     accepted by the run's plan\n"
        "  1  failed: a limit missed, five failures in a row, the target out\n"
        "     of reach, rejected by the run's plan; or a failing card ended a\n"
        "     run with --stop-on-failure\n"
        "  2  bad usage: an unknown option, a value out of range, or a run ID\n"
        "     that the station's record does not have\n"
        "  3  no device: ./lib/libvarnak_c.so missing or refused, the device held\n"
        "     by another process, or the dispenser could not be opened for the\n"
        "     first card (port, cable, power; the code is named on standard error);\n"
        "     nothing is recorded against the unit\n"
        "  4  stopped by SIGINT, SIGTERM or SIGHUP\n"
        "  5  the record (database, CSV, log or report) could not be written or read\n"
        "  6  ended early, not judged yet (the box empty, a card left in the channel,\n"
        "     the channel not cleared: empty the bin; the dispenser lost: cable or\n"
        "     power; a plan's 100000 cards of one sitting run): go on with\n"
        "     --continue RUN_ID once it is mended\n"
        "With --report RUN_ID: 0 passed, or finished with nothing to judge;\n"
        "1 failed; 6 not finished and not decided.\n"
        "With --upload: 0 the server has every record (or a running burn-in or\n"
        "another process forwards them); 2 no server configured; 7 the server\n"
        "could not be reached or refused records, the reason on standard error.\n");
}

} // namespace BurnInExitStatus
