// SPDX-License-Identifier: MIT
#pragma once

// The arguments the tool passes to the device library, the same from every page, but for the
// connection a burn-in may be given.
namespace DeviceArguments {

constexpr int kOk = 0;
constexpr int kBoxEmpty = -10;

constexpr int kOpenPort = 0;
constexpr int kOpenBaud = 115200;
constexpr char kNoText[] = "";
constexpr char kNoBp = 0;

// Where openDevice finds the dispenser: the port (0 the HID connection, n the serial device
// ttyS(n - 1)), the baud rate and the BP port's letter, kNoBp for none. The default is the fixed
// connection the card test page opens.
struct Connection
{
    int port = kOpenPort;
    int baud = kOpenBaud;
    char bp = kNoBp;

    bool operator==(const Connection &other) const
    {
        return port == other.port && baud == other.baud && bp == other.bp;
    }
};
constexpr int kShortTimeout = 5;
constexpr int kPowerSlot = 0;
constexpr int kEnterTimeout = 10;
constexpr int kChipReadMode = 2;
constexpr char kCardNumberTag[] = "5A";
constexpr int kChipStatusPreset = -1;
constexpr int kReplyLengthPreset = 0;
constexpr int kChipReadTimeout = 20;

struct Move
{
    const char *position;
    int timeout;
};
constexpr Move kToReader {"cp31", 30};
constexpr Move kToFront {"cp34", 10};
constexpr Move kToCapture {"cp35", 5};

} // namespace DeviceArguments
