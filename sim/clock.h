// SPDX-License-Identifier: MIT
#ifndef VARNAK_SIM_CLOCK_H
#define VARNAK_SIM_CLOCK_H

#include <cstdint>

namespace varnaksim {

// Time is behind an interface so the customer's delays can be tested without waiting for them.
class Clock
{
public:
    virtual ~Clock();
    virtual std::int64_t nowMs() const = 0;
    virtual void sleepMs(std::int64_t ms) = 0;
};

class SteadyClock final : public Clock
{
public:
    std::int64_t nowMs() const override;
    void sleepMs(std::int64_t ms) override;
};

} // namespace varnaksim

#endif // VARNAK_SIM_CLOCK_H
