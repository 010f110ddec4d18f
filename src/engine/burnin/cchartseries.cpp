// SPDX-License-Identifier: MIT
#include "engine/burnin/cchartseries.h"

#include <algorithm>
#include <limits>

namespace {

double seconds(qint64 ms)
{
    return static_cast<double>(ms) / 1000.0;
}

} // namespace

CChartSeries::CChartSeries()
    : m_buckets(kBuckets, emptyBucket())
{ }

CChartSeries::Bucket CChartSeries::emptyBucket()
{
    // Extremes that any card's time replaces, so merging needs no test for emptiness.
    return {std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min(),
        std::numeric_limits<qint64>::min(), 0, 0};
}

void CChartSeries::Bucket::add(const Bucket &other)
{
    minMs = std::min(minMs, other.minMs);
    maxMs = std::max(maxMs, other.maxMs);
    failedMaxMs = std::max(failedMaxMs, other.failedMaxMs);
    count += other.count;
    failures += other.failures;
}

void CChartSeries::add(const BurnInRecord &record)
{
    const int index = record.index > 0 ? record.index : m_lastCard + 1;
    m_lastCard = std::max(m_lastCard, index);
    ++m_cards;
    m_failed += record.passed ? 0 : 1;

    while ((index - 1) / m_cardsPerBucket >= kBuckets)
        halveResolution();
    const qint64 ms = record.deviceMs();
    m_maxMs = std::max(m_maxMs, ms);
    const Bucket card {
        ms, ms, record.passed ? std::numeric_limits<qint64>::min() : ms, 1, record.passed ? 0 : 1};
    m_buckets[static_cast<std::size_t>((index - 1) / m_cardsPerBucket)].add(card);
}

void CChartSeries::halveResolution()
{
    for (std::size_t i = 0; i < m_buckets.size() / 2; ++i) {
        Bucket merged = m_buckets[2 * i];
        merged.add(m_buckets[2 * i + 1]);
        m_buckets[i] = merged;
    }
    std::fill(m_buckets.begin() + kBuckets / 2, m_buckets.end(), emptyBucket());
    m_cardsPerBucket *= 2;
}

void CChartSeries::clear()
{
    std::fill(m_buckets.begin(), m_buckets.end(), emptyBucket());
    m_cardsPerBucket = 1;
    m_lastCard = 0;
    m_cards = 0;
    m_failed = 0;
    m_maxMs = 0;
    m_p95Seconds = 0.0;
}

QVector<CChartSeries::Column> CChartSeries::columns(int pixelColumns) const
{
    QVector<Column> result;
    if (m_lastCard == 0 || pixelColumns < 1)
        return result;
    const int usedBuckets = (m_lastCard - 1) / m_cardsPerBucket + 1;
    // Whole buckets per column, so every column stands for the same number of cards.
    const int bucketsPerColumn = (usedBuckets + pixelColumns - 1) / pixelColumns;
    result.reserve((usedBuckets + bucketsPerColumn - 1) / bucketsPerColumn);
    for (int first = 0; first < usedBuckets; first += bucketsPerColumn) {
        const int end = std::min(first + bucketsPerColumn, usedBuckets);
        Bucket sum = emptyBucket();
        for (int i = first; i < end; ++i)
            sum.add(m_buckets[static_cast<std::size_t>(i)]);
        if (sum.count == 0)
            continue;
        Column column;
        column.firstCard = first * m_cardsPerBucket + 1;
        column.lastCard = static_cast<int>(
            std::min(static_cast<qint64>(end) * m_cardsPerBucket, static_cast<qint64>(m_lastCard)));
        column.cards = sum.count;
        column.minSeconds = seconds(sum.minMs);
        column.maxSeconds = seconds(sum.maxMs);
        column.failures = sum.failures;
        column.failedMaxSeconds = sum.failures > 0 ? seconds(sum.failedMaxMs) : 0.0;
        result.append(column);
    }
    return result;
}
