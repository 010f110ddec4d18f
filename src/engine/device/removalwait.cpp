// SPDX-License-Identifier: MIT
#include "engine/device/removalwait.h"

namespace {

constexpr std::chrono::milliseconds kHeadStart {3000};
constexpr int kPolls = 120;
constexpr std::chrono::milliseconds kPollPause {500};

} // namespace

namespace RemovalWait {

Result wait(const Pause &pause, const std::function<Poll()> &poll)
{
    if (!pause(kHeadStart))
        return Result::Cancelled;
    for (int count = 0; count < kPolls; ++count) {
        switch (poll()) {
        case Poll::Taken:
            return Result::Taken;
        case Poll::Failed:
            return Result::Failed;
        case Poll::Refused:
            return Result::Cancelled;
        case Poll::Waiting:
            break;
        }
        if (!pause(kPollPause))
            return Result::Cancelled;
    }
    return Result::NotTaken;
}

} // namespace RemovalWait
