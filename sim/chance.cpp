// SPDX-License-Identifier: MIT
#include "chance.h"

namespace varnaksim {

Chance::Chance(std::uint64_t seed)
    : m_engine(seed)
{ }

std::int64_t Chance::between(std::int64_t low, std::int64_t high)
{
    if (high <= low)
        return low;
    // The modulo's bias is below 2^-40 for the spans of milliseconds used here.
    const auto span = static_cast<std::uint64_t>(high - low) + 1;
    return low + static_cast<std::int64_t>(m_engine() % span);
}

bool Chance::percent(int percent)
{
    return percent > 0 && between(0, 99) < percent;
}

} // namespace varnaksim
