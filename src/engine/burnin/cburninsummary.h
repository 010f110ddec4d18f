// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"

#include <QString>

#include <functional>
#include <queue>
#include <vector>

// A burn-in run's figures at one moment: plain data, handed from the run's thread to the page.
// The times are the device's own, of passed cards only: a failed card stops early and the
// customer's wait is not the device's, so either would make a slow dispenser look fast or a fast
// one slow.
struct BurnInFigures
{
    BurnInMode mode = BurnInMode::Capture;
    int done = 0;
    int passed = 0;
    int duplicates = 0;
    // The failed cards that count against the dispenser's MCBF (Qualification::classify).
    int deviceFailures = 0;
    int failedInARow = 0; // the failed cards since the last passed one
    double meanSeconds = 0.0;
    double p95Seconds = 0.0;
    double maxSeconds = 0.0;
    // Hand-out mode: the mean of the customer's waits at the front.
    double meanWaitSeconds = 0.0;

    int failed() const { return done - passed; }
    // 0..100; 0 when no card is done.
    double passRate() const;
    // One line for the operator, e.g. "已完成 120 张  通过 118  失败 2  通过率 98.3%  每张
    // 平均/P95/最长 1.234/1.900/2.345 秒  重复卡号 0"; in hand-out mode "取卡等待 平均 4.500 秒"
    // stands before the duplicates.
    QString text() const;
};

// The running totals of a burn-in run, kept where its cards are. Each card costs O(log n) and the
// figures O(1), so they can be taken often during a run of 100,000 cards. The 95th percentile is
// the nearest-rank one: the ceil(0.95 n)-th smallest time. Plain data; one thread at a time.
class CBurnInSummary
{
public:
    explicit CBurnInSummary(BurnInMode mode = BurnInMode::Capture);

    void add(const BurnInRecord &record);
    BurnInFigures figures() const;

private:
    BurnInFigures m_figures;
    qint64 m_totalMs = 0;
    qint64 m_maxMs = 0;
    qint64 m_waitMs = 0;
    int m_waits = 0;
    // The fastest ceil(0.95 n) times, slowest on top, and the rest, fastest on top: the top of
    // the first is the 95th percentile.
    std::priority_queue<qint64> m_fastest;
    std::priority_queue<qint64, std::vector<qint64>, std::greater<>> m_slowest;
};
