// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <cstddef>
#include <optional>

// The steps a burn-in card can go through, in the order they happen. Capture mode: Open, Status,
// (ClearChannel when a card was left in the channel), Dispense, PowerOn, ReadChip, PowerOff,
// Capture. Hand-out mode: Open, Status, Dispense, MoveToReader, PowerOn, ReadChip, PowerOff,
// HandOut, Removal.
enum class BurnInStep {
    Open,
    Status,
    ClearChannel,
    Dispense,
    MoveToReader,
    PowerOn,
    ReadChip,
    PowerOff,
    Capture,
    HandOut,
    Removal
};
constexpr int kBurnInStepCount = 11;
// The operator's name of a step: the CSV's column titles and the page use it.
QString burnInStepName(BurnInStep step);

enum class BurnInMode { Capture, HandOut };
// "回收" / "出卡"
QString burnInModeName(BurnInMode mode);

// The code of a failed Removal step whose card waited at the front for the whole minute: still
// in the channel. The customer's doing, not the dispenser's.
constexpr int kBurnInNotTaken = 1;

// How a failed step ended: with the device's own return code, or without one, because the driver
// never answered or crashed in the call. Only the first is a code of the device.
enum class BurnInOutcome { DeviceCode, NoReply, DriverCrash };
// "code", "no_reply", "driver_crash": the record's key.
QString burnInOutcomeKey(BurnInOutcome outcome);
std::optional<BurnInOutcome> burnInOutcomeFromKey(const QString &key);
// "无响应", "驱动崩溃"; empty for the device's code.
QString burnInOutcomeName(BurnInOutcome outcome);

using BurnInStepTimes = std::array<qint64, kBurnInStepCount>;

constexpr BurnInStepTimes noBurnInStepTimes()
{
    // std::fill is not constexpr before C++20.
    BurnInStepTimes times {};
    for (qint64 &time : times)
        time = -1; // cppcheck-suppress useStlAlgorithm
    return times;
}

// One card of a burn-in run, as the engine saw it. Plain data, copied across threads.
struct BurnInRecord
{
    int index = 0; // 1-based card number within the run
    QDateTime started; // local time the card started
    QString cardNumber; // as read from the chip; may be empty
    bool passed = false;
    std::optional<BurnInStep> failedStep; // set when !passed
    int failedCode = 0; // the library's return code of the failed step; 0 for a driver outcome
    BurnInOutcome outcome = BurnInOutcome::DeviceCode; // of the failed step
    qint64 elapsedMs = 0; // the whole card, from its first library call to its last
    BurnInStepTimes stepMs = noBurnInStepTimes(); // each step's time in ms, -1 where it did not run
    bool duplicate = false; // the card number was seen before in the same run
    // Finer than the milliseconds above, for measuring the tool itself: the whole card and its
    // time inside library calls. Not part of the record on disk, nor of ==.
    qint64 elapsedNs = 0;
    qint64 libraryNs = 0;

    // The device's own time: the whole card less the customer's wait for it at the front.
    qint64 deviceMs() const;

    qint64 &stepTime(BurnInStep step) { return stepMs[static_cast<std::size_t>(step)]; }
    qint64 stepTime(BurnInStep step) const { return stepMs[static_cast<std::size_t>(step)]; }

    // The failed step's result as the operator reads it: its code, or the driver's outcome.
    QString failureText() const;

    bool operator==(const BurnInRecord &other) const;
    bool operator!=(const BurnInRecord &other) const { return !(*this == other); }
};
