// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <functional>

// The customer's minute after a card was handed out at the front: a head start, then the
// channel polled every half second, up to a minute in all. Both pages wait so; what a poll's
// answer means is theirs to say.
namespace RemovalWait {

enum class Poll {
    Taken,
    Waiting, // the card is still at the front
    Failed, // the query itself failed: ends the wait
    Refused, // the gate refused the call: the window is closing
};

enum class Result { Taken, NotTaken, Failed, Cancelled };

// pause waits for the time it is given and returns false when it was cut short (a stop), which
// ends the wait at once with Cancelled.
using Pause = std::function<bool(std::chrono::milliseconds duration)>;
Result wait(const Pause &pause, const std::function<Poll()> &poll);

} // namespace RemovalWait
