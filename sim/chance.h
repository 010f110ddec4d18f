// SPDX-License-Identifier: MIT
#ifndef VARNAK_SIM_CHANCE_H
#define VARNAK_SIM_CHANCE_H

#include <cstdint>
#include <random>

namespace varnaksim {

// The simulator's dice: a seeded generator, so that a run with random failures and timing can be
// replayed from its seed. The standard distributions differ between library versions, so values
// are drawn from the engine's raw output, whose sequence the standard fixes. Not thread-safe.
class Chance
{
public:
    explicit Chance(std::uint64_t seed);

    // A value from low to high, both included; low when high is not above it.
    std::int64_t between(std::int64_t low, std::int64_t high);
    // True in about percent of the calls out of 100.
    bool percent(int percent);

private:
    std::mt19937_64 m_engine;
};

} // namespace varnaksim

#endif // VARNAK_SIM_CHANCE_H
