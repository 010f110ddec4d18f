// SPDX-License-Identifier: MIT
#ifndef VARNAK_SIM_SIMDEVICE_H
#define VARNAK_SIM_SIMDEVICE_H

#include "chance.h"
#include "dispensermodel.h"
#include "simconfig.h"
#include "tracelog.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>

namespace varnaksim {

// Size of every reply buffer the tool hands over.
constexpr std::size_t ReplyCapacity = 1024;

// Copies at most ReplyCapacity bytes; the terminating NUL only when it still fits.
void copyReply(char *buffer, const std::string &text);

// Everything behind the exported C functions: argument checks against what the tool is
// meant to pass, forced results and replies, latency, tracing and overlap counting.
// Safe to call from several threads; the model itself is guarded by one mutex.
class SimDevice
{
public:
    SimDevice(const SimConfig &config, Clock &clock);
    ~SimDevice();
    SimDevice(const SimDevice &) = delete;
    SimDevice &operator=(const SimDevice &) = delete;

    int openDevice(int port, int baud, const char *param, int timeout);
    int closeDevice(int timeout);
    int getStatus(int timeout, char *reply);
    int powerOn(int slot, int timeout);
    int powerOff(int timeout);
    int deviceEnterCard(int timeoutSeconds);
    int deviceMoveCard(const char *position, int timeout);
    int deviceSendCard(const char *position, int timeout);
    int getICInfo(int mode, const char *tag, const char *option, int *inOut1, char *reply,
        int *inOut2, const char *extra, int timeout);
    int getICInfoARQC(int mode, const char *tags, char *reply, int timeout);

    int overlaps() const { return m_overlaps.load(); }
    Snapshot snapshot();

private:
    template<typename Body> int call(Function function, const std::string &args, Body &&body);
    std::uint64_t countCall(Function function);
    void actOutFaultOf(Function function, std::uint64_t callNumber, const std::string &call);
    std::int64_t drawLatency();
    std::optional<int> drawFailure(Function function, std::uint64_t callNumber);
    int readCardNumber(char *reply);

    SimConfig m_config;
    Clock &m_clock;
    DispenserModel m_model;
    std::mutex m_modelMutex;
    TraceLog m_trace;
    // Drawn from by callers on any thread, outside the model's lock. The same lock guards the
    // calls counted per function since the load, so they count in the order the calls arrive.
    Chance m_chance;
    std::array<std::uint64_t, FunctionCount> m_calls {};
    std::mutex m_chanceMutex;
    std::atomic<int> m_inside {0};
    std::atomic<int> m_overlaps {0};
};

} // namespace varnaksim

#endif // VARNAK_SIM_SIMDEVICE_H
