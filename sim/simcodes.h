// SPDX-License-Identifier: MIT
#ifndef VARNAK_SIM_SIMCODES_H
#define VARNAK_SIM_SIMCODES_H

// One code per kind of failure, so a trace line alone tells which rule a caller broke.
// -10 is the one value the real device is known to use (empty card box); the others are ours.
namespace simcode {

constexpr int Ok = 0;
constexpr int BoxEmpty = -10;
constexpr int NotOpen = -11;
constexpr int NoCard = -12;
constexpr int NoCardAtReader = -13;
constexpr int ChipNotPowered = -14;
constexpr int ChannelOccupied = -15;
constexpr int InsertTimeout = -16;
constexpr int NotSupported = -17;
constexpr int BinFull = -18;
// openDevice on a port other than the one VARNAK_SIM_PORT names.
constexpr int WrongPort = -19;
// The default result of a call failed on purpose by VARNAK_SIM_FAIL_EVERY_<function>, apart from
// every real failure, so that a run's record shows which failures were planted.
constexpr int PlannedFailure = -20;
constexpr int BadArgument = -21;

} // namespace simcode

#endif // VARNAK_SIM_SIMCODES_H
