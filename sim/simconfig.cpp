// SPDX-License-Identifier: MIT
#include "simconfig.h"

#include "cardnumber.h"
#include "simcodes.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace varnaksim {

namespace {

constexpr const char *Names[FunctionCount] = {
    "openDevice",
    "closeDevice",
    "getStatus",
    "powerOn",
    "powerOff",
    "deviceEnterCard",
    "deviceMoveCard",
    "deviceSendCard",
    "getICInfo",
    "getICInfoARQC",
};

constexpr const char *FaultKindNames[] = {"hang", "segv", "abort", "exit"};
constexpr std::size_t FaultKindCount = sizeof FaultKindNames / sizeof FaultKindNames[0];
static_assert(FaultKindCount == static_cast<std::size_t>(FaultKind::Exit) + 1);

// A plain array: the library builds its configuration while static objects are still being made.
constexpr char Prefix[] = "VARNAK_SIM_";

std::optional<std::int64_t> parseInteger(const char *text, std::int64_t min, std::int64_t max)
{
    if (!text || !*text)
        return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < min || value > max)
        return std::nullopt;
    return value;
}

// "off" or a negative value switch the customer's action off; garbage keeps the default.
std::optional<std::int64_t> parseDelay(const char *text, std::optional<std::int64_t> fallback)
{
    if (text && strcasecmp(text, "off") == 0)
        return std::nullopt;
    const auto value = parseInteger(text, LLONG_MIN, INT_MAX);
    if (!value)
        return fallback;
    if (*value < 0)
        return std::nullopt;
    return value;
}

std::int64_t parseCount(const char *text, std::int64_t fallback)
{
    return parseInteger(text, 0, INT_MAX).value_or(fallback);
}

// "<call>:<kind>", e.g. "3:hang"; anything else plants nothing, since a fault nobody meant would
// take a whole test run down.
std::optional<Fault> parseFault(const char *text)
{
    if (!text)
        return std::nullopt;
    const char *colon = std::strchr(text, ':');
    if (!colon)
        return std::nullopt;
    const auto call = parseInteger(std::string(text, colon).c_str(), 1, INT_MAX);
    if (!call)
        return std::nullopt;
    for (std::size_t i = 0; i < FaultKindCount; ++i) {
        if (std::strcmp(colon + 1, FaultKindNames[i]) == 0)
            return Fault {static_cast<int>(*call), static_cast<FaultKind>(i)};
    }
    return std::nullopt;
}

std::optional<std::string> optionalText(const char *text)
{
    if (!text)
        return std::nullopt;
    return std::string(text);
}

} // namespace

const char *functionName(Function function)
{
    return Names[static_cast<std::size_t>(function)];
}

const char *faultKindName(FaultKind kind)
{
    return FaultKindNames[static_cast<std::size_t>(kind)];
}

std::optional<int> SimConfig::forced(Function function) const
{
    return forcedResult[static_cast<std::size_t>(function)];
}

std::optional<PeriodicFailure> SimConfig::periodic(Function function) const
{
    return periodicFailure[static_cast<std::size_t>(function)];
}

std::optional<Fault> SimConfig::fault(Function function) const
{
    return faults[static_cast<std::size_t>(function)];
}

SimConfig SimConfig::fromLookup(const Lookup &lookup)
{
    const auto get
        = [&lookup](const std::string &name) { return lookup(std::string(Prefix) + name); };
    SimConfig config;
    config.model.cards = static_cast<int>(parseCount(get("CARDS"), config.model.cards));
    config.model.takeDelayMs = parseDelay(get("TAKE_MS"), config.model.takeDelayMs);
    config.model.insertDelayMs = parseDelay(get("INSERT_MS"), config.model.insertDelayMs);
    config.enterTimeoutMs = parseInteger(get("ENTER_TIMEOUT_MS"), 0, INT_MAX);
    config.latencyMs = parseCount(get("LATENCY_MS"), 0);
    config.latencyMaxMs = parseCount(get("LATENCY_MAX_MS"), 0);
    config.failPercent = static_cast<int>(parseInteger(get("FAIL_PERCENT"), 0, 100).value_or(0));
    const auto seed = parseInteger(get("SEED"), 0, INT_MAX);
    config.seed = static_cast<std::uint64_t>(seed.value_or(0));
    config.model.seed = config.seed;
    // Without a seed, a run continued in a new process must meet none of the numbers it has seen.
    config.model.serialBase = seed ? serialBaseFromSeed(config.seed) : serialBaseForThisStart();
    config.model.takeDelayMaxMs = parseCount(get("TAKE_MAX_MS"), 0);
    config.model.insertDelayMaxMs = parseCount(get("INSERT_MAX_MS"), 0);
    if (const auto bin = parseInteger(get("BIN"), 0, INT_MAX))
        config.model.binCapacity = static_cast<int>(*bin);
    if (const auto port = parseInteger(get("PORT"), INT_MIN, INT_MAX))
        config.expectedPort = static_cast<int>(*port);
    for (std::size_t i = 0; i < FunctionCount; ++i) {
        const auto rc = parseInteger(get(std::string("RC_") + Names[i]), INT_MIN, INT_MAX);
        if (rc)
            config.forcedResult[i] = static_cast<int>(*rc);
        // A code alone fails nothing: only the period switches the failure on.
        const std::string every = std::string("FAIL_EVERY_") + Names[i];
        if (const auto period = parseInteger(get(every), 1, INT_MAX)) {
            const auto result = parseInteger(get(every + "_RC"), INT_MIN, INT_MAX);
            config.periodicFailure[i] = PeriodicFailure {static_cast<int>(*period),
                static_cast<int>(result.value_or(simcode::PlannedFailure))};
        }
        config.faults[i] = parseFault(get(std::string("FAULT_") + Names[i]));
    }
    config.statusReply = optionalText(get("STATUS_REPLY"));
    config.icInfoReply = optionalText(get("ICINFO_REPLY"));
    config.tracePath = optionalText(get("TRACE")).value_or(std::string());
    return config;
}

SimConfig SimConfig::fromEnvironment()
{
    return fromLookup([](const std::string &name) { return std::getenv(name.c_str()); });
}

} // namespace varnaksim
