// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"

#include <QVector>

#include <vector>

// The seconds per card of a burn-in run, reduced as the cards arrive so that drawing them costs
// the width of the chart, not the number of cards. Cards go into a fixed number of buckets over
// the card number; when a card falls past the last bucket, each bucket takes twice as many cards
// and neighbours are merged, so a card costs O(1) amortised and the memory stays the same for any
// run. A card's time is its device time. The P95 line comes from the run's figures, which are
// kept where the cards are. Plain data; one thread at a time.
class CChartSeries
{
public:
    // Twice the widest plot in pixels: right after a doubling only half the buckets hold cards,
    // and that half must still give every pixel column its own bucket.
    static constexpr int kBuckets = 2048;

    // The cards firstCard..lastCard, as one pixel column of the chart.
    struct Column
    {
        int firstCard = 0;
        int lastCard = 0;
        int cards = 0;
        double minSeconds = 0.0;
        double maxSeconds = 0.0;
        int failures = 0;
        double failedMaxSeconds = 0.0; // the slowest failed card; 0 when failures == 0
    };

    CChartSeries();

    // A record without a number (index < 1) is taken as the card after the last one.
    void add(const BurnInRecord &record);
    void clear();

    int cards() const { return m_cards; }
    int passed() const { return m_cards - m_failed; }
    int failed() const { return m_failed; }
    // The highest card number seen: the x range of the chart.
    int lastCard() const { return m_lastCard; }
    double p95Seconds() const { return m_p95Seconds; }
    void setP95Seconds(double seconds) { m_p95Seconds = seconds; }
    double maxSeconds() const { return static_cast<double>(m_maxMs) / 1000.0; }
    int cardsPerBucket() const { return m_cardsPerBucket; }

    // The cards so far in at most pixelColumns columns of whole buckets, in card order; columns
    // without any card are left out. O(kBuckets).
    QVector<Column> columns(int pixelColumns) const;

private:
    struct Bucket
    {
        qint64 minMs;
        qint64 maxMs;
        qint64 failedMaxMs;
        int count;
        int failures;

        void add(const Bucket &other);
    };

    static Bucket emptyBucket();
    void halveResolution();

    std::vector<Bucket> m_buckets;
    int m_cardsPerBucket = 1;
    int m_lastCard = 0;
    int m_cards = 0;
    int m_failed = 0;
    qint64 m_maxMs = 0;
    double m_p95Seconds = 0.0;
};
