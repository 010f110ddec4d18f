// SPDX-License-Identifier: MIT
#include "cardnumber.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <unistd.h>

namespace varnaksim {

namespace {

constexpr char IssuerPrefix[] = "621483";
constexpr std::size_t SerialDigits = 12;

// Counts the starts made by this copy of the code (each load of the library has its own), so that
// two made within one tick of the clock still differ. Constant-initialised: ready even for the
// library's device, which is made while static objects are still being made.
std::atomic<std::uint64_t> startsMade {0};

bool allDigits(const std::string &text)
{
    return std::all_of(
        text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// Sum over the digits right to left, doubling every second one starting with the first
// when the check digit is still missing, or the second when it is already in place.
int luhnSum(const std::string &digits, bool doubleRightmost)
{
    int sum = 0;
    bool doubled = doubleRightmost;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        int d = *it - '0';
        if (doubled)
            d = d * 2 > 9 ? d * 2 - 9 : d * 2;
        sum += d;
        doubled = !doubled;
    }
    return sum;
}

// SplitMix64's finaliser: spreads inputs that differ in a few low bits over all 64. Apart from the
// simulator's dice, so that numbering cards draws nothing from the seeded random stream.
std::uint64_t mixed(std::uint64_t value)
{
    value += 0x9e3779b97f4a7c15U;
    value = (value ^ (value >> 30U)) * 0xbf58476d1ce4e5b9U;
    value = (value ^ (value >> 27U)) * 0x94d049bb133111ebU;
    return value ^ (value >> 31U);
}

} // namespace

char luhnCheckDigit(const std::string &payload)
{
    return static_cast<char>('0' + (10 - luhnSum(payload, true) % 10) % 10);
}

bool isLuhnValid(const std::string &number)
{
    return number.size() >= 2 && allDigits(number) && luhnSum(number, false) % 10 == 0;
}

std::string cardNumberForSerial(std::uint64_t serial)
{
    std::string digits = std::to_string(serial);
    if (digits.size() > SerialDigits)
        digits.erase(0, digits.size() - SerialDigits);
    const std::string payload
        = IssuerPrefix + std::string(SerialDigits - digits.size(), '0') + digits;
    return payload + luhnCheckDigit(payload);
}

// The wall clock: the steady one starts again at every boot, as the process ids do.
std::uint64_t serialBaseForThisStart()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    const auto pid = static_cast<std::uint64_t>(::getpid());
    return mixed(mixed(mixed(static_cast<std::uint64_t>(ns)) ^ pid) ^ startsMade++) % SerialRange;
}

std::uint64_t serialBaseFromSeed(std::uint64_t seed)
{
    return mixed(seed) % SerialRange;
}

} // namespace varnaksim
