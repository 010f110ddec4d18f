// SPDX-License-Identifier: MIT
// The exported face of the simulator: the ten C functions the tool resolves with dlsym.
// One device per load of the library, configured from the environment at load time, so a
// process that closes and reopens the library starts from a fresh device.

#include "clock.h"
#include "simconfig.h"
#include "simdevice.h"

#define VARNAK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Simulator
{
    varnaksim::SteadyClock clock;
    varnaksim::SimDevice device {varnaksim::SimConfig::fromEnvironment(), clock};
};

// Its destructor runs at dlclose (or process exit) and writes the trace's closing line.
Simulator simulator;

} // namespace

VARNAK_EXPORT int openDevice(int port, int baud, const char *param, int timeout)
{
    return simulator.device.openDevice(port, baud, param, timeout);
}

VARNAK_EXPORT int closeDevice(int timeout)
{
    return simulator.device.closeDevice(timeout);
}

VARNAK_EXPORT int getStatus(int timeout, char *reply)
{
    return simulator.device.getStatus(timeout, reply);
}

VARNAK_EXPORT int powerOn(int slot, int timeout)
{
    return simulator.device.powerOn(slot, timeout);
}

VARNAK_EXPORT int powerOff(int timeout)
{
    return simulator.device.powerOff(timeout);
}

VARNAK_EXPORT int deviceEnterCard(int timeoutSeconds)
{
    return simulator.device.deviceEnterCard(timeoutSeconds);
}

VARNAK_EXPORT int deviceMoveCard(const char *position, int timeout)
{
    return simulator.device.deviceMoveCard(position, timeout);
}

VARNAK_EXPORT int deviceSendCard(const char *position, int timeout)
{
    return simulator.device.deviceSendCard(position, timeout);
}

VARNAK_EXPORT int getICInfo(int mode, const char *tag, const char *option, int *inOut1, char *reply,
    int *inOut2, const char *extra, int timeout)
{
    return simulator.device.getICInfo(mode, tag, option, inOut1, reply, inOut2, extra, timeout);
}

VARNAK_EXPORT int getICInfoARQC(int mode, const char *tags, char *reply, int timeout)
{
    return simulator.device.getICInfoARQC(mode, tags, reply, timeout);
}
