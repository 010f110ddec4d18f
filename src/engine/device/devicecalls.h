// SPDX-License-Identifier: MIT
#pragma once

#include "engine/device/devicearguments.h"
#include "engine/device/zov_sdk.h"

// The library calls of a card's way through the dispenser, with the arguments every page passes,
// so that the card test and the burn-in cannot drift apart in what they ask of the device. Each
// takes the loader and returns the library's code; the caller runs it under the device gate.
namespace DeviceCalls {

inline int open(const ZOV_SDK &sdk)
{
    using namespace DeviceArguments;
    return sdk.pOpenDevice(kOpenPort, kOpenBaud, kNoText, kShortTimeout);
}

// The BP port goes as its one letter, or as an empty text for none, as the fixed call's "".
inline int openOn(const ZOV_SDK &sdk, const DeviceArguments::Connection &connection)
{
    const char bp[] = {connection.bp, '\0'};
    return sdk.pOpenDevice(connection.port, connection.baud, bp, DeviceArguments::kShortTimeout);
}

inline int close(const ZOV_SDK &sdk)
{
    return sdk.pCloseDevice(DeviceArguments::kShortTimeout);
}

// reply: kReplyBufferSize bytes, zeroed.
inline int status(const ZOV_SDK &sdk, char *reply)
{
    return sdk.pGetStatus(DeviceArguments::kShortTimeout, reply);
}

inline int dispense(const ZOV_SDK &sdk)
{
    using DeviceArguments::kToReader;
    return sdk.pDeviceSendCard(kToReader.position, kToReader.timeout);
}

inline int move(const ZOV_SDK &sdk, DeviceArguments::Move to)
{
    return sdk.pDeviceMoveCard(to.position, to.timeout);
}

inline int enter(const ZOV_SDK &sdk)
{
    return sdk.pDeviceEnterCard(DeviceArguments::kEnterTimeout);
}

inline int powerOn(const ZOV_SDK &sdk)
{
    using namespace DeviceArguments;
    return sdk.pPowerOn(kPowerSlot, kShortTimeout);
}

inline int powerOff(const ZOV_SDK &sdk)
{
    return sdk.pPowerOff(DeviceArguments::kShortTimeout);
}

// reply: kReplyBufferSize bytes, zeroed; the card number is read from it with readCardNumber.
inline int readChip(const ZOV_SDK &sdk, char *reply)
{
    using namespace DeviceArguments;
    int chipStatus = kChipStatusPreset;
    int replyLength = kReplyLengthPreset;
    return sdk.pGetICInfo(kChipReadMode, kCardNumberTag, kNoText, &chipStatus, reply, &replyLength,
        kNoText, kChipReadTimeout);
}

} // namespace DeviceCalls
