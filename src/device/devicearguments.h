// SPDX-License-Identifier: MIT
#pragma once

// The arguments the tool passes to the device library, the same from every page: the settings of
// the configuration dialog are not passed.
namespace DeviceArguments {

constexpr int kOk = 0;
constexpr int kBoxEmpty = -10;

constexpr int kOpenPort = 0;
constexpr int kOpenBaud = 115200;
constexpr char kNoText[] = "";
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
