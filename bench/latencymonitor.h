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

    void start();
    void stop();

    double maxLatenessMs() const { return m_maxLatenessNs / 1e6; }
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
    qint64 m_lateFirings = 0;
    qint64 m_ticks = 0;
};
