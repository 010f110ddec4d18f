// SPDX-License-Identifier: MIT
#include "latencymonitor.h"

#include "benchreport.h"

#include <algorithm>

namespace {
constexpr int kIntervalMs = 1;
constexpr qint64 kIntervalNs = kIntervalMs * 1000000;
constexpr qint64 kFrameNs = 16 * 1000000;
} // namespace

LatencyMonitor::LatencyMonitor(QObject *parent)
    : QObject(parent)
{
    // A coarse timer may be shifted by up to 5 % on purpose; only a precise one measures the loop.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LatencyMonitor::onTimeout);
}

void LatencyMonitor::start()
{
    m_maxLatenessNs = 0;
    m_worstAtNs = 0;
    m_lateFirings = 0;
    m_ticks = 0;
    m_startNs = BenchReport::nanosNow();
    m_lastNs = m_startNs;
    m_timer.start();
}

void LatencyMonitor::stop()
{
    onTimeout();
    m_timer.stop();
}

void LatencyMonitor::onTimeout()
{
    const qint64 now = BenchReport::nanosNow();
    const qint64 latenessNs = now - m_lastNs - kIntervalNs;
    if (latenessNs > m_maxLatenessNs) {
        m_maxLatenessNs = latenessNs;
        m_worstAtNs = m_lastNs - m_startNs;
    }
    if (latenessNs > kFrameNs)
        ++m_lateFirings;
    m_lastNs = now;
    ++m_ticks;
    emit ticked();
}
