// SPDX-License-Identifier: MIT
#include "latencymonitor.h"

#include "benchreport.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int kIntervalMs = 1;
constexpr qint64 kIntervalNs = kIntervalMs * 1000000;
constexpr qint64 kFrameNs = 16 * 1000000;

qint64 threadCpuNs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The second of schedstat's three figures: nanoseconds spent ready to run on a run queue.
qint64 runQueueNs(int fd)
{
    char text[96];
    const ssize_t size = fd < 0 ? -1 : ::pread(fd, text, sizeof text - 1, 0);
    if (size <= 0)
        return 0;
    text[size] = '\0';
    char *end = nullptr;
    std::strtoll(text, &end, 10);
    return std::strtoll(end, nullptr, 10);
}

} // namespace

LatencyMonitor::LatencyMonitor(QObject *parent)
    : QObject(parent)
{
    // A coarse timer may be shifted by up to 5 % on purpose; only a precise one measures the loop.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LatencyMonitor::onTimeout);
}

LatencyMonitor::~LatencyMonitor()
{
    if (m_schedstat >= 0)
        ::close(m_schedstat);
}

void LatencyMonitor::start()
{
    m_maxLatenessNs = 0;
    m_lastLatenessNs = 0;
    m_worstAtNs = 0;
    m_lateFirings = 0;
    m_ticks = 0;
    m_maxBusyNs = 0;
    m_worstBusyNs = 0;
    m_worstWaitNs = 0;
    if (m_schedstat < 0)
        m_schedstat = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    m_lastWaitNs = runQueueNs(m_schedstat);
    m_lastCpuNs = threadCpuNs();
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
    const qint64 cpuNs = threadCpuNs();
    const qint64 waitNs = runQueueNs(m_schedstat);
    m_lastLatenessNs = latenessNs;
    if (latenessNs > m_maxLatenessNs) {
        m_maxLatenessNs = latenessNs;
        m_worstAtNs = m_lastNs - m_startNs;
        m_worstBusyNs = cpuNs - m_lastCpuNs;
        m_worstWaitNs = waitNs - m_lastWaitNs;
    }
    if (latenessNs > kFrameNs)
        ++m_lateFirings;
    m_maxBusyNs = std::max(m_maxBusyNs, cpuNs - m_lastCpuNs);
    m_lastCpuNs = cpuNs;
    m_lastWaitNs = waitNs;
    m_lastNs = now;
    ++m_ticks;
    emit ticked();
}
