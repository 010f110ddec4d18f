// SPDX-License-Identifier: MIT
#include "engine/records/burninrecord.h"

#include <algorithm>
#include <iterator>

namespace {

// In enum order.
const char *const kStepNames[] = {"打开设备", "查询通道", "清理通道", "发卡到读卡位", "移卡",
    "上电", "读卡", "下电", "回收", "出卡", "等待取卡"};
static_assert(std::size(kStepNames) == kBurnInStepCount, "a step without a name");

} // namespace

QString burnInStepName(BurnInStep step)
{
    return QString::fromUtf8(kStepNames[static_cast<std::size_t>(step)]);
}

QString burnInModeName(BurnInMode mode)
{
    return mode == BurnInMode::Capture ? QStringLiteral("回收") : QStringLiteral("出卡");
}

qint64 BurnInRecord::deviceMs() const
{
    return elapsedMs - std::max<qint64>(0, stepTime(BurnInStep::Removal));
}

bool BurnInRecord::operator==(const BurnInRecord &other) const
{
    return index == other.index && started == other.started && cardNumber == other.cardNumber
        && passed == other.passed && failedStep == other.failedStep
        && failedCode == other.failedCode && outcome == other.outcome
        && elapsedMs == other.elapsedMs && stepMs == other.stepMs && duplicate == other.duplicate;
}

QString burnInOutcomeKey(BurnInOutcome outcome)
{
    switch (outcome) {
    case BurnInOutcome::DeviceCode:
        return QStringLiteral("code");
    case BurnInOutcome::NoReply:
        return QStringLiteral("no_reply");
    case BurnInOutcome::DriverCrash:
        return QStringLiteral("driver_crash");
    }
    return QString();
}

std::optional<BurnInOutcome> burnInOutcomeFromKey(const QString &key)
{
    const auto outcomes
        = {BurnInOutcome::DeviceCode, BurnInOutcome::NoReply, BurnInOutcome::DriverCrash};
    const auto found = std::find_if(outcomes.begin(), outcomes.end(),
        [&key](BurnInOutcome outcome) { return key == burnInOutcomeKey(outcome); });
    return found == outcomes.end() ? std::nullopt : std::optional<BurnInOutcome>(*found);
}

QString burnInOutcomeName(BurnInOutcome outcome)
{
    switch (outcome) {
    case BurnInOutcome::DeviceCode:
        return QString();
    case BurnInOutcome::NoReply:
        return QStringLiteral("无响应");
    case BurnInOutcome::DriverCrash:
        return QStringLiteral("驱动崩溃");
    }
    return QString();
}

QString BurnInRecord::failureText() const
{
    return outcome == BurnInOutcome::DeviceCode ? QString::number(failedCode)
                                                : burnInOutcomeName(outcome);
}
