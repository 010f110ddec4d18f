// SPDX-License-Identifier: MIT
#ifndef VARNAK_SIM_SIMCONFIG_H
#define VARNAK_SIM_SIMCONFIG_H

#include "dispensermodel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace varnaksim {

// The library's entry points, in the order of the exported table.
enum class Function {
    OpenDevice,
    CloseDevice,
    GetStatus,
    PowerOn,
    PowerOff,
    DeviceEnterCard,
    DeviceMoveCard,
    DeviceSendCard,
    GetICInfo,
    GetICInfoARQC,
};
constexpr std::size_t FunctionCount = 10;

const char *functionName(Function function);

// Fails the period-th call of a function, and every period-th after it, with result.
struct PeriodicFailure
{
    int period = 0;
    int result = 0;
};

// How a call that is planted with a fault ends instead of returning.
enum class FaultKind {
    Hang,
    Segv,
    Abort,
    Exit,
};

// The name the variable's value gives the kind: "hang", "segv", "abort" or "exit".
const char *faultKindName(FaultKind kind);

// Ends the call-th call of a function, counted from the load, the way kind says.
struct Fault
{
    int call = 0;
    FaultKind kind = FaultKind::Hang;
};

struct SimConfig
{
    using Lookup = std::function<const char *(const std::string &name)>;

    ModelSettings model;
    // nullopt: deviceEnterCard waits as many seconds as its argument says.
    std::optional<std::int64_t> enterTimeoutMs;
    std::int64_t latencyMs = 0;
    // Above latencyMs: each call's latency is drawn from latencyMs up to this value.
    std::int64_t latencyMaxMs = 0;
    // How many calls out of 100 fail with a code drawn from the simulator's failure codes.
    int failPercent = 0;
    // Seeds every random draw (latency, failures, the customer's delays), so a run can be replayed;
    // 0 when unset too. Only a seed that is set replays the card numbers as well.
    std::uint64_t seed = 0;
    // nullopt: openDevice accepts every port it offers; else only this one, so that a test can
    // tell which connection a run opened.
    std::optional<int> expectedPort;
    std::array<std::optional<int>, FunctionCount> forcedResult;
    std::array<std::optional<PeriodicFailure>, FunctionCount> periodicFailure;
    std::array<std::optional<Fault>, FunctionCount> faults;
    std::optional<std::string> statusReply;
    std::optional<std::string> icInfoReply;
    std::string tracePath;

    std::optional<int> forced(Function function) const;
    std::optional<PeriodicFailure> periodic(Function function) const;
    std::optional<Fault> fault(Function function) const;

    // Values that do not parse keep their defaults: a typo must not take the tool down.
    static SimConfig fromLookup(const Lookup &lookup);
    static SimConfig fromEnvironment();
};

} // namespace varnaksim

#endif // VARNAK_SIM_SIMCONFIG_H
