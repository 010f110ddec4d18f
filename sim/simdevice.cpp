// SPDX-License-Identifier: MIT
#include "simdevice.h"

#include "clock.h"
#include "fault.h"
#include "simcodes.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <optional>

namespace varnaksim {

namespace {

// The values the tool is meant to pass. Anything else is a caller bug and must fail loudly.
// A connection is whatever the tool's settings dialog offers: port 0 (HID) to 100 (ttyS99), three
// baud rates, no BP port ("") or one of four capital letters. Kept here as a copy of its own, since
// the simulator shares no code with the tool.
constexpr int MinPort = 0;
constexpr int MaxPort = 100;
constexpr int Bauds[] = {1200, 9600, 115200};
constexpr const char *BpPorts[] = {"", "A", "B", "C", "K"};
constexpr int ShortTimeout = 5;
constexpr int PowerSlot = 0;
constexpr int EnterTimeout = 10;
constexpr int IcInfoMode = 2;
constexpr int IcInfoTimeout = 20;

// What a random failure returns: the simulator's own codes, each of which the tool may meet.
// BinFull stays out: a longer list would change the draws, and so the replay, of every seed.
constexpr int RandomFailures[] = {simcode::BoxEmpty, simcode::NotOpen, simcode::NoCard,
    simcode::NoCardAtReader, simcode::ChipNotPowered, simcode::ChannelOccupied,
    simcode::InsertTimeout, simcode::NotSupported, simcode::BadArgument};
constexpr std::int64_t RandomFailureCount = sizeof RandomFailures / sizeof RandomFailures[0];

bool isText(const char *text, const char *expected)
{
    return text && std::strcmp(text, expected) == 0;
}

bool isInt(const int *value, int expected)
{
    return value && *value == expected;
}

bool isOfferedConnection(int port, int baud, const char *bp)
{
    const auto isBp = [bp](const char *offered) { return isText(bp, offered); };
    return port >= MinPort && port <= MaxPort
        && std::find(std::begin(Bauds), std::end(Bauds), baud) != std::end(Bauds)
        && std::any_of(std::begin(BpPorts), std::end(BpPorts), isBp);
}

std::optional<MoveTarget> moveTarget(const char *position, int timeout)
{
    if (isText(position, "cp31") && timeout == 30)
        return MoveTarget::Reader;
    if (isText(position, "cp34") && timeout == 10)
        return MoveTarget::Front;
    if (isText(position, "cp35") && timeout == 5)
        return MoveTarget::Capture;
    return std::nullopt;
}

std::string joined(std::initializer_list<std::string> parts)
{
    std::string out;
    for (const auto &part : parts)
        out += (out.empty() ? "" : ", ") + part;
    return out;
}

// Marks a caller as inside the library for as long as the call lasts.
class InsideScope
{
public:
    InsideScope(std::atomic<int> &inside, std::atomic<int> &overlaps)
        : m_inside(inside)
    {
        if (m_inside.fetch_add(1) > 0)
            ++overlaps;
    }
    ~InsideScope() { --m_inside; }
    InsideScope(const InsideScope &) = delete;
    InsideScope &operator=(const InsideScope &) = delete;

private:
    std::atomic<int> &m_inside;
};

} // namespace

void copyReply(char *buffer, const std::string &text)
{
    const std::size_t size = std::min(text.size(), ReplyCapacity);
    std::memcpy(buffer, text.data(), size);
    if (text.size() < ReplyCapacity)
        buffer[size] = '\0';
}

SimDevice::SimDevice(const SimConfig &config, Clock &clock)
    : m_config(config)
    , m_clock(clock)
    , m_model(config.model, clock)
    , m_trace(config.tracePath)
    // Its own sequence, apart from the model's customer, yet fixed by the same seed.
    , m_chance(config.seed + 1)
{ }

SimDevice::~SimDevice()
{
    m_trace.append("overlaps " + std::to_string(overlaps()));
}

template<typename Body> int SimDevice::call(Function function, const std::string &args, Body &&body)
{
    // Entered before the latency sleep, so two callers are seen even while one still sleeps; a
    // call that hangs never leaves, so every call after it overlaps it.
    const InsideScope inside(m_inside, m_overlaps);
    const std::string call = std::string(functionName(function)) + "(" + args + ")";
    const std::uint64_t callNumber = countCall(function);
    actOutFaultOf(function, callNumber, call);
    m_clock.sleepMs(drawLatency());
    int result = 0;
    if (const auto failure = drawFailure(function, callNumber)) {
        result = *failure;
    } else {
        const std::lock_guard<std::mutex> lock(m_modelMutex);
        result = body();
    }
    m_trace.append(
        call + " = " + std::to_string(result) + " [overlaps " + std::to_string(overlaps()) + "]");
    return result;
}

// Counted as the calls arrive, before their latency, so that the n-th call to enter is the n-th.
std::uint64_t SimDevice::countCall(Function function)
{
    const std::lock_guard<std::mutex> lock(m_chanceMutex);
    return ++m_calls[static_cast<std::size_t>(function)];
}

// Returns at once unless this is the planted call. The line is on disk before the fault acts,
// so that a test in another process can wait for it to know the call is under way; no lock is
// held then, so a hang holds up its own caller only.
void SimDevice::actOutFaultOf(Function function, std::uint64_t callNumber, const std::string &call)
{
    const auto fault = m_config.fault(function);
    if (!fault || callNumber != static_cast<std::uint64_t>(fault->call))
        return;
    m_trace.append(
        call + " " + (fault->kind == FaultKind::Hang ? "hangs" : faultKindName(fault->kind)));
    actOutFault(fault->kind);
}

std::int64_t SimDevice::drawLatency()
{
    const std::lock_guard<std::mutex> lock(m_chanceMutex);
    return m_chance.between(m_config.latencyMs, m_config.latencyMaxMs);
}

// A forced result wins, then a periodic failure, then a random one; each acts like a forced
// result. Every call counts, forced or not, so the n-th failure falls on the caller's n-th call.
// A periodic failure still takes the random draws it replaces, so that the other calls fail at
// random as they would without it.
std::optional<int> SimDevice::drawFailure(Function function, std::uint64_t callNumber)
{
    const std::lock_guard<std::mutex> lock(m_chanceMutex);
    if (const auto forced = m_config.forced(function))
        return forced;
    std::optional<int> failure;
    if (m_chance.percent(m_config.failPercent))
        failure = RandomFailures[m_chance.between(0, RandomFailureCount - 1)];
    const auto periodic = m_config.periodic(function);
    if (periodic && callNumber % static_cast<std::uint64_t>(periodic->period) == 0)
        failure = periodic->result;
    return failure;
}

int SimDevice::openDevice(int port, int baud, const char *param, int timeout)
{
    const auto args = joined(
        {std::to_string(port), std::to_string(baud), traceText(param), std::to_string(timeout)});
    return call(Function::OpenDevice, args, [&] {
        if (!isOfferedConnection(port, baud, param) || timeout != ShortTimeout)
            return simcode::BadArgument;
        if (m_config.expectedPort && port != *m_config.expectedPort)
            return simcode::WrongPort;
        return m_model.open();
    });
}

int SimDevice::closeDevice(int timeout)
{
    return call(Function::CloseDevice, std::to_string(timeout),
        [&] { return timeout == ShortTimeout ? m_model.close() : simcode::BadArgument; });
}

int SimDevice::getStatus(int timeout, char *reply)
{
    const auto args = joined({std::to_string(timeout), traceBuffer(reply)});
    return call(Function::GetStatus, args, [&] {
        if (timeout != ShortTimeout || !reply)
            return simcode::BadArgument;
        if (m_config.statusReply) {
            copyReply(reply, *m_config.statusReply);
            return simcode::Ok;
        }
        Snapshot state;
        const int result = m_model.status(state);
        if (result == simcode::Ok)
            copyReply(reply, statusJson(state));
        return result;
    });
}

int SimDevice::powerOn(int slot, int timeout)
{
    const auto args = joined({std::to_string(slot), std::to_string(timeout)});
    return call(Function::PowerOn, args, [&] {
        if (slot != PowerSlot || timeout != ShortTimeout)
            return simcode::BadArgument;
        return m_model.powerOn();
    });
}

int SimDevice::powerOff(int timeout)
{
    return call(Function::PowerOff, std::to_string(timeout),
        [&] { return timeout == ShortTimeout ? m_model.powerOff() : simcode::BadArgument; });
}

int SimDevice::deviceEnterCard(int timeoutSeconds)
{
    return call(Function::DeviceEnterCard, std::to_string(timeoutSeconds), [&] {
        if (timeoutSeconds != EnterTimeout)
            return simcode::BadArgument;
        const auto seconds = static_cast<std::int64_t>(timeoutSeconds);
        return m_model.enterCard(m_config.enterTimeoutMs.value_or(seconds * 1000));
    });
}

int SimDevice::deviceMoveCard(const char *position, int timeout)
{
    const auto args = joined({traceText(position), std::to_string(timeout)});
    return call(Function::DeviceMoveCard, args, [&] {
        const auto target = moveTarget(position, timeout);
        return target ? m_model.moveCard(*target) : simcode::BadArgument;
    });
}

int SimDevice::deviceSendCard(const char *position, int timeout)
{
    const auto args = joined({traceText(position), std::to_string(timeout)});
    return call(Function::DeviceSendCard, args, [&] {
        if (!isText(position, "cp31") || timeout != 30)
            return simcode::BadArgument;
        return m_model.sendCard();
    });
}

int SimDevice::getICInfo(int mode, const char *tag, const char *option, int *inOut1, char *reply,
    int *inOut2, const char *extra, int timeout)
{
    const auto args = joined({std::to_string(mode), traceText(tag), traceText(option),
        traceIntPointer(inOut1), traceBuffer(reply), traceIntPointer(inOut2), traceText(extra),
        std::to_string(timeout)});
    return call(Function::GetICInfo, args, [&] {
        if (mode != IcInfoMode || !isText(tag, "5A") || !isText(option, "") || !isInt(inOut1, -1)
            || !reply || !isInt(inOut2, 0) || !isText(extra, "") || timeout != IcInfoTimeout) {
            return simcode::BadArgument;
        }
        return readCardNumber(reply);
    });
}

int SimDevice::getICInfoARQC(int mode, const char *tags, char *reply, int timeout)
{
    const auto args = joined(
        {std::to_string(mode), traceText(tags), traceBuffer(reply), std::to_string(timeout)});
    // The tool has no use for cryptograms, so the simulator does not compute them.
    return call(Function::GetICInfoARQC, args, [&] {
        if (!tags || !reply)
            return simcode::BadArgument;
        return m_model.snapshot().open ? simcode::NotSupported : simcode::NotOpen;
    });
}

Snapshot SimDevice::snapshot()
{
    const std::lock_guard<std::mutex> lock(m_modelMutex);
    return m_model.snapshot();
}

int SimDevice::readCardNumber(char *reply)
{
    if (m_config.icInfoReply) {
        copyReply(reply, *m_config.icInfoReply);
        return simcode::Ok;
    }
    std::string number;
    const int result = m_model.readCardNumber(number);
    if (result == simcode::Ok)
        copyReply(reply, R"({"Ret":0,"Data":{"5A":")" + number + R"("}})");
    return result;
}

} // namespace varnaksim
