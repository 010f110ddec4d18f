// SPDX-License-Identifier: MIT
#include "clock.h"

#include <chrono>
#include <thread>

namespace varnaksim {

Clock::~Clock() = default;

std::int64_t SteadyClock::nowMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SteadyClock::sleepMs(std::int64_t ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace varnaksim
