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
std::string cardNumberForSerial(std::uint64_t serial);

} // namespace varnaksim

#endif // VARNAK_SIM_CARDNUMBER_H
