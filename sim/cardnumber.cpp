// SPDX-License-Identifier: MIT
#include "cardnumber.h"

#include <algorithm>
#include <cctype>

namespace varnaksim {

namespace {

constexpr char IssuerPrefix[] = "621483";
constexpr std::size_t SerialDigits = 12;

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

} // namespace varnaksim
