// SPDX-License-Identifier: MIT
#include "engine/burnin/cfailuremodes.h"

#include "engine/burnin/qualification.h"

#include <algorithm>

void CFailureModes::add(const BurnInRecord &record)
{
    if (record.passed)
        return;
    ++m_failed;
    // A failed card always names its step; one that does not is read as failing at the start.
    const BurnInStep step = record.failedStep.value_or(BurnInStep::Open);
    FailureMode &mode
        = m_modes[{static_cast<int>(step), static_cast<int>(record.outcome), record.failedCode}];
    if (mode.count == 0) {
        mode.step = step;
        mode.outcome = record.outcome;
        mode.code = record.failedCode;
        mode.firstCard = record.index;
        mode.deviceFailure
            = Qualification::classify(record) == Qualification::CardOutcome::DeviceFailure;
    }
    ++mode.count;
    // Cards of a continued run may come back in any order from a reader.
    mode.firstCard = std::min(mode.firstCard, record.index);
    mode.lastCard = std::max(mode.lastCard, record.index);
}

void CFailureModes::clear()
{
    m_modes.clear();
    m_failed = 0;
}

std::vector<FailureMode> CFailureModes::rows() const
{
    std::vector<FailureMode> rows;
    rows.reserve(m_modes.size());
    for (const auto &entry : m_modes) {
        FailureMode mode = entry.second;
        mode.share = static_cast<double>(mode.count) / m_failed;
        rows.push_back(mode);
    }
    std::sort(rows.begin(), rows.end(), [](const FailureMode &a, const FailureMode &b) {
        return a.count != b.count ? a.count > b.count : a.firstCard < b.firstCard;
    });
    return rows;
}

std::vector<FailureMode> failureModes(const QVector<BurnInRecord> &records)
{
    CFailureModes modes;
    for (const BurnInRecord &record : records)
        modes.add(record);
    return modes.rows();
}

namespace FailureModeText {

QStringList titles()
{
    return {QStringLiteral("步骤"), QStringLiteral("代码"), QStringLiteral("次数"),
        QStringLiteral("占比"), QStringLiteral("首张"), QStringLiteral("末张")};
}

QString cell(const FailureMode &mode, int column)
{
    switch (column) {
    case Step:
        return burnInStepName(mode.step);
    case Code:
        return mode.outcome == BurnInOutcome::DeviceCode ? QString::number(mode.code)
                                                         : burnInOutcomeName(mode.outcome);
    case Count:
        return QString::number(mode.count);
    case Share:
        return QStringLiteral("%1%").arg(100.0 * mode.share, 0, 'f', 1);
    case FirstCard:
        return QString::number(mode.firstCard);
    case LastCard:
        return QString::number(mode.lastCard);
    default:
        return {};
    }
}

} // namespace FailureModeText
