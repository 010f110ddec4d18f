// SPDX-License-Identifier: MIT
#include "burnin/cfailuremodes.h"

#include "burnin/qualification.h"

#include <algorithm>

void CFailureModes::add(const BurnInRecord &record)
{
    if (record.passed)
        return;
    ++m_failed;
    // A failed card always names its step; one that does not is read as failing at the start.
    const BurnInStep step = record.failedStep.value_or(BurnInStep::Open);
    FailureMode &mode = m_modes[{static_cast<int>(step), record.failedCode}];
    if (mode.count == 0) {
        mode.step = step;
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
