// SPDX-License-Identifier: MIT
#include "engine/burnin/cburninsummary.h"

#include "engine/burnin/qualification.h"

#include <algorithm>

namespace {

std::size_t nearestRank95(int count)
{
    return static_cast<std::size_t>((95 * static_cast<qint64>(count) + 99) / 100);
}

QString seconds(double value)
{
    return QString::number(value, 'f', 3);
}

} // namespace

double BurnInFigures::passRate() const
{
    return done == 0 ? 0.0 : 100.0 * passed / done;
}

QString BurnInFigures::text() const
{
    // Rounded down, so that 100.0% means that no card failed.
    const qint64 tenths = done == 0 ? 0 : static_cast<qint64>(passed) * 1000 / done;
    const QString wait = mode == BurnInMode::HandOut
        ? QStringLiteral("取卡等待 平均 %1 秒  ").arg(seconds(meanWaitSeconds))
        : QString();
    return QStringLiteral(
        "已完成 %1 张  通过 %2  失败 %3  通过率 %4.%5%  每张 平均/P95/最长 %6/%7/%8 秒  "
        "%9重复卡号 %10")
        .arg(done)
        .arg(passed)
        .arg(failed())
        .arg(tenths / 10)
        .arg(tenths % 10)
        .arg(seconds(meanSeconds), seconds(p95Seconds), seconds(maxSeconds), wait)
        .arg(duplicates);
}

CBurnInSummary::CBurnInSummary(BurnInMode mode)
{
    m_figures.mode = mode;
}

void CBurnInSummary::add(const BurnInRecord &record)
{
    ++m_figures.done;
    m_figures.duplicates += record.duplicate ? 1 : 0;
    if (const qint64 wait = record.stepTime(BurnInStep::Removal); wait >= 0) {
        m_waitMs += wait;
        ++m_waits;
    }
    m_figures.failedInARow = record.passed ? 0 : m_figures.failedInARow + 1;
    if (!record.passed) {
        if (Qualification::classify(record) == Qualification::CardOutcome::DeviceFailure)
            ++m_figures.deviceFailures;
        return;
    }
    ++m_figures.passed;
    const qint64 ms = record.deviceMs();
    m_totalMs += ms;
    m_maxMs = std::max(m_maxMs, ms);
    if (m_fastest.empty() || ms <= m_fastest.top())
        m_fastest.push(ms);
    else
        m_slowest.push(ms);
    // The rank grows by at most one per card, so one move at most restores the split.
    const std::size_t rank = nearestRank95(m_figures.passed);
    while (m_fastest.size() > rank) {
        m_slowest.push(m_fastest.top());
        m_fastest.pop();
    }
    while (m_fastest.size() < rank) {
        m_fastest.push(m_slowest.top());
        m_slowest.pop();
    }
}

BurnInFigures CBurnInSummary::figures() const
{
    BurnInFigures figures = m_figures;
    const int passed = figures.passed;
    figures.meanSeconds = passed == 0 ? 0.0 : static_cast<double>(m_totalMs) / passed / 1000.0;
    figures.p95Seconds = m_fastest.empty() ? 0.0 : static_cast<double>(m_fastest.top()) / 1000.0;
    figures.maxSeconds = static_cast<double>(m_maxMs) / 1000.0;
    figures.meanWaitSeconds = m_waits == 0 ? 0.0 : static_cast<double>(m_waitMs) / m_waits / 1000.0;
    return figures;
}
