// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

// A 1 ms timer on the GUI thread that records how late its worst firing was: the longest time
// the event loop did not get round to it. GUI thread only.
class LatencyMonitor : public QObject
{
    Q_OBJECT

public:
    explicit LatencyMonitor(QObject *parent = nullptr);
    ~LatencyMonitor() override;

    void start();
    void stop();

    double maxLatenessMs() const { return m_maxLatenessNs / 1e6; }
    // The firing that ticked() was just sent for: how late it was.
    double lastLatenessMs() const { return m_lastLatenessNs / 1e6; }
    // The GUI thread's own work between two firings, by its CPU clock. On a machine shared with
    // other work the longest gap between firings also holds the time the thread waited for a
    // core; this tells how much of a stall was the program's.
    double maxBusyMs() const { return m_maxBusyNs / 1e6; }
    // Within the worst firing's gap: the thread's own work, and its time ready to run but waiting
    // for a core (the kernel's run-queue time, /proc/thread-self/schedstat). What is left of the
    // gap the thread slept, blocked or was idle.
    double worstBusyMs() const { return m_worstBusyNs / 1e6; }
    double worstWaitMs() const { return m_worstWaitNs / 1e6; }
    // When the worst firing came, after start(): tells a one-off cost from a recurring one.
    double worstAtMs() const { return m_worstAtNs / 1e6; }
    // Firings more than a frame (16 ms) late: one is a hiccup, many are a pattern.
    qint64 lateFirings() const { return m_lateFirings; }
    qint64 ticks() const { return m_ticks; }

signals:
    void ticked();

private:
    void onTimeout();

    QTimer m_timer;
    qint64 m_startNs = 0;
    qint64 m_lastNs = 0;
    qint64 m_worstAtNs = 0;
    qint64 m_maxLatenessNs = 0;
    qint64 m_lastLatenessNs = 0;
    qint64 m_lastCpuNs = 0;
    qint64 m_maxBusyNs = 0;
    qint64 m_worstBusyNs = 0;
    int m_schedstat = -1; // the GUI thread's schedstat file, opened by start()
    qint64 m_lastWaitNs = 0;
    qint64 m_worstWaitNs = 0;
    qint64 m_lateFirings = 0;
    qint64 m_ticks = 0;
};
