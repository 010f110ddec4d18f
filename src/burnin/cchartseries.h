// SPDX-License-Identifier: MIT
#pragma once

#include "burnin/burninrecord.h"
#include "burnin/cburninsummary.h"

#include <QVector>

#include <vector>

// The seconds per card of a burn-in run, reduced as the cards arrive so that drawing them costs
// the width of the chart, not the number of cards. Cards go into a fixed number of buckets over
// the card number; when a card falls past the last bucket, each bucket takes twice as many cards
// and neighbours are merged, so a card costs O(1) amortised (plus the summary's O(log n)) and the
// memory stays the same for any run. Plain data; used from one thread (the GUI's).
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

    int cards() const { return m_summary.done(); }
    int passed() const { return m_summary.passed(); }
    int failed() const { return m_summary.failed(); }
    // The highest card number seen: the x range of the chart.
    int lastCard() const { return m_lastCard; }
    double p95Seconds() const { return m_summary.p95Seconds(); }
    double maxSeconds() const { return m_summary.maxSeconds(); }
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
    CBurnInSummary m_summary;
};
