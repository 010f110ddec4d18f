// SPDX-License-Identifier: MIT
#include "engine/device/driverprotocol.h"

#include "engine/device/zov_sdk.h"

#include <chrono>
#include <cstring>

namespace DriverProtocol {

namespace {

using namespace DeviceArguments;

Request request(Function function, int timeout)
{
    Request made;
    made.function = function;
    made.timeout = timeout;
    return made;
}

void setText(Request &made, int at, const char *text)
{
    std::strncpy(made.text[at], text, kTextSize - 1);
}

bool terminated(const Request &request)
{
    for (const char *text : request.text) {
        if (std::memchr(text, '\0', kTextSize) == nullptr)
            return false;
    }
    return true;
}

} // namespace

const char *functionName(Function function)
{
    switch (function) {
    case Function::OpenDevice:
        return "openDevice";
    case Function::CloseDevice:
        return "closeDevice";
    case Function::GetStatus:
        return "getStatus";
    case Function::PowerOn:
        return "powerOn";
    case Function::PowerOff:
        return "powerOff";
    case Function::DeviceEnterCard:
        return "deviceEnterCard";
    case Function::DeviceMoveCard:
        return "deviceMoveCard";
    case Function::DeviceSendCard:
        return "deviceSendCard";
    case Function::GetICInfo:
        return "getICInfo";
    }
    return "?";
}

Request open(const Connection &connection)
{
    Request made = request(Function::OpenDevice, kShortTimeout);
    made.number[0] = connection.port;
    made.number[1] = connection.baud;
    made.text[0][0] = connection.bp;
    return made;
}

Request close()
{
    return request(Function::CloseDevice, kShortTimeout);
}

Request status()
{
    return request(Function::GetStatus, kShortTimeout);
}

Request dispense()
{
    Request made = request(Function::DeviceSendCard, kToReader.timeout);
    setText(made, 0, kToReader.position);
    return made;
}

Request move(Move to)
{
    Request made = request(Function::DeviceMoveCard, to.timeout);
    setText(made, 0, to.position);
    return made;
}

Request enter()
{
    return request(Function::DeviceEnterCard, kEnterTimeout);
}

Request powerOn()
{
    Request made = request(Function::PowerOn, kShortTimeout);
    made.number[0] = kPowerSlot;
    return made;
}

Request powerOff()
{
    return request(Function::PowerOff, kShortTimeout);
}

Request readChip()
{
    Request made = request(Function::GetICInfo, kChipReadTimeout);
    made.number[0] = kChipReadMode;
    made.number[1] = kChipStatusPreset;
    made.number[2] = kReplyLengthPreset;
    setText(made, 0, kCardNumberTag);
    setText(made, 1, kNoText);
    setText(made, 2, kNoText);
    return made;
}

bool execute(const ZOV_SDK &sdk, const Request &request, Reply &reply)
{
    if (request.version != kVersion || !terminated(request))
        return false;
    const std::int32_t *number = request.number;
    const int timeout = request.timeout;
    std::int32_t *out = reply.number;
    const auto started = std::chrono::steady_clock::now();
    switch (request.function) {
    case Function::OpenDevice:
        reply.code = sdk.pOpenDevice(number[0], number[1], request.text[0], timeout);
        break;
    case Function::CloseDevice:
        reply.code = sdk.pCloseDevice(timeout);
        break;
    case Function::GetStatus:
        reply.code = sdk.pGetStatus(timeout, reply.reply);
        break;
    case Function::PowerOn:
        reply.code = sdk.pPowerOn(number[0], timeout);
        break;
    case Function::PowerOff:
        reply.code = sdk.pPowerOff(timeout);
        break;
    case Function::DeviceEnterCard:
        reply.code = sdk.pDeviceEnterCard(timeout);
        break;
    case Function::DeviceMoveCard:
        reply.code = sdk.pDeviceMoveCard(request.text[0], timeout);
        break;
    case Function::DeviceSendCard:
        reply.code = sdk.pDeviceSendCard(request.text[0], timeout);
        break;
    case Function::GetICInfo: {
        int chipStatus = number[1];
        int replyLength = number[2];
        reply.code = sdk.pGetICInfo(number[0], request.text[0], request.text[1], &chipStatus,
            reply.reply, &replyLength, request.text[2], timeout);
        out[0] = chipStatus;
        out[1] = replyLength;
        break;
    }
    default:
        return false;
    }
    reply.deviceNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now() - started)
                         .count();
    return true;
}

} // namespace DriverProtocol
