// SPDX-License-Identifier: MIT
#pragma once

#include "burnin/burninrecord.h"

#include <QString>

#include <functional>
#include <queue>
#include <vector>

// The running totals of a burn-in run for the page's summary line. Each card costs O(log n) and
// every figure is O(1), so the line can be redrawn often during a run of 100,000 cards. The
// 95th percentile is the nearest-rank one: the ceil(0.95 n)-th smallest time.
// Plain data; used from one thread (the GUI's).
class CBurnInSummary
{
public:
    void add(const BurnInRecord &record);
    void clear();

    int done() const { return m_done; }
    int passed() const { return m_passed; }
    int failed() const { return m_done - m_passed; }
    int duplicates() const { return m_duplicates; }
    // 0..100; 0 when no card is done.
    double passRate() const;
    double meanSeconds() const;
    double p95Seconds() const;
    double maxSeconds() const;
    // One line for the operator, e.g. "已完成 120 张  通过 118  失败 2  通过率 98.3%  每张
    // 平均/P95/最长 1.234/1.900/2.345 秒  重复卡号 0".
    QString text() const;

private:
    int m_done = 0;
    int m_passed = 0;
    int m_duplicates = 0;
    qint64 m_totalMs = 0;
    qint64 m_maxMs = 0;
    // The fastest ceil(0.95 n) times, slowest on top, and the rest, fastest on top: the top of
    // the first is the 95th percentile.
    std::priority_queue<qint64> m_fastest;
    std::priority_queue<qint64, std::vector<qint64>, std::greater<>> m_slowest;
};
