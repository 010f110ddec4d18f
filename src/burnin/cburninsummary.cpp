// SPDX-License-Identifier: MIT
#include "burnin/cburninsummary.h"

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

void CBurnInSummary::add(const BurnInRecord &record)
{
    ++m_done;
    m_passed += record.passed ? 1 : 0;
    m_duplicates += record.duplicate ? 1 : 0;
    m_totalMs += record.elapsedMs;
    m_maxMs = std::max(m_maxMs, record.elapsedMs);

    if (m_fastest.empty() || record.elapsedMs <= m_fastest.top())
        m_fastest.push(record.elapsedMs);
    else
        m_slowest.push(record.elapsedMs);
    // The rank grows by at most one per card, so one move at most restores the split.
    const std::size_t rank = nearestRank95(m_done);
    while (m_fastest.size() > rank) {
        m_slowest.push(m_fastest.top());
        m_fastest.pop();
    }
    while (m_fastest.size() < rank) {
        m_fastest.push(m_slowest.top());
        m_slowest.pop();
    }
}

void CBurnInSummary::clear()
{
    *this = CBurnInSummary();
}

double CBurnInSummary::passRate() const
{
    return m_done == 0 ? 0.0 : 100.0 * m_passed / m_done;
}

double CBurnInSummary::meanSeconds() const
{
    return m_done == 0 ? 0.0 : static_cast<double>(m_totalMs) / m_done / 1000.0;
}

double CBurnInSummary::p95Seconds() const
{
    return m_fastest.empty() ? 0.0 : static_cast<double>(m_fastest.top()) / 1000.0;
}

double CBurnInSummary::maxSeconds() const
{
    return static_cast<double>(m_maxMs) / 1000.0;
}

QString CBurnInSummary::text() const
{
    // Rounded down, so that 100.0% means that no card failed.
    const qint64 tenths = m_done == 0 ? 0 : static_cast<qint64>(m_passed) * 1000 / m_done;
    return QStringLiteral(
        "已完成 %1 张  通过 %2  失败 %3  通过率 %4.%5%  每张 平均/P95/最长 %6/%7/%8 秒  "
        "重复卡号 %9")
        .arg(m_done)
        .arg(m_passed)
        .arg(failed())
        .arg(tenths / 10)
        .arg(tenths % 10)
        .arg(seconds(meanSeconds()), seconds(p95Seconds()), seconds(maxSeconds()))
        .arg(m_duplicates);
}
