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
        && failedCode == other.failedCode && elapsedMs == other.elapsedMs && stepMs == other.stepMs
        && duplicate == other.duplicate;
}
