// SPDX-License-Identifier: MIT
#ifndef VARNAK_SIM_CARDNUMBER_H
#define VARNAK_SIM_CARDNUMBER_H

#include <cstdint>
#include <string>

namespace varnaksim {

// Digit that makes payload + digit pass the Luhn check; payload must be decimal digits only.
char luhnCheckDigit(const std::string &payload);
bool isLuhnValid(const std::string &number);

// 19-digit number starting with 62, unique per serial, so every card in a run can be told apart.
// Only the serial's last 12 digits count: serials wrap around after SerialRange.
std::string cardNumberForSerial(std::uint64_t serial);
constexpr std::uint64_t SerialRange = 1000000000000;

// Where a start's serials begin, below SerialRange. A start counts on from there, so its numbers
// repeat only after SerialRange cards, and two starts share one only where their ranges meet.
// Without a seed each start draws its own from the wall clock, the process id and the starts
// already made by this copy of the code; with one it follows from the seed, so the numbers replay
// with the rest.
std::uint64_t serialBaseForThisStart();
std::uint64_t serialBaseFromSeed(std::uint64_t seed);

} // namespace varnaksim

#endif // VARNAK_SIM_CARDNUMBER_H
