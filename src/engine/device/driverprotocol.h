// SPDX-License-Identifier: MIT
#pragma once

#include "engine/device/devicearguments.h"
#include "engine/device/replyreaders.h"

#include <cstddef>
#include <cstdint>

class ZOV_SDK;

// What the burn-in and the driver host (card-dispenser-devicehost) say to each other over their
// socket pair: one request, one reply, each a single datagram (SOCK_SEQPACKET), so that a message
// arrives whole or not at all. A request names one library function and carries its arguments;
// the reply carries the function's code, what it wrote into its reply buffer and out-arguments,
// and the time the call took in the host, so that the pipe's cost is not charged to the device.
// The host answers a request only after the call returned, and sends one Reply, with code 0, once
// the library has loaded. Nothing else passes.
namespace DriverProtocol {

constexpr std::uint32_t kVersion = 1;

// The library's entry points the burn-in calls; getICInfoARQC is resolved and never called.
enum class Function : std::uint8_t {
    OpenDevice = 1,
    CloseDevice,
    GetStatus,
    PowerOn,
    PowerOff,
    DeviceEnterCard,
    DeviceMoveCard,
    DeviceSendCard,
    GetICInfo,
};
// The library's own name of the function, e.g. "getICInfo".
const char *functionName(Function function);

constexpr std::size_t kTextSize = 64;

struct Request
{
    std::uint32_t version = kVersion;
    Function function = Function::GetStatus;
    // The call's int arguments in its order, the timeout left out; getICInfo's *status and
    // *replyLength go in its second and third.
    std::int32_t number[3] = {};
    // Its text arguments in its order, each NUL-terminated.
    char text[3][kTextSize] = {};
    // Its trailing timeout argument, in seconds as the library reads it.
    std::int32_t timeout = 0;
};

struct Reply
{
    std::uint32_t version = kVersion;
    std::int32_t code = 0;
    std::int64_t deviceNs = 0;
    // getICInfo's *status and *replyLength after the call.
    std::int32_t number[2] = {};
    // The reply buffer as the library left it; not necessarily NUL-terminated.
    char reply[kReplyBufferSize] = {};
};

// The requests of a card's way through the dispenser, with the arguments every page passes (see
// DeviceCalls).
Request open(const DeviceArguments::Connection &connection);
Request close();
Request status();
Request dispense();
Request move(DeviceArguments::Move to);
Request enter();
Request powerOn();
Request powerOff();
Request readChip();

// Runs the request's function in this process and fills reply; false, with nothing called, for a
// request that names no function or whose texts are not terminated.
bool execute(const ZOV_SDK &sdk, const Request &request, Reply &reply);

} // namespace DriverProtocol
