// SPDX-License-Identifier: MIT
#pragma once

#include "latencymonitor.h"
#include "paintidleprobe.h"

#include <QObject>
#include <QStringList>

#include <functional>

class QPlainTextEdit;

// One burst of log lines into a log pane, timed from the first line handed over until the last
// one is in the pane, painted, and the event loop idle; meanwhile a 1 ms timer measures how long
// the loop stays unresponsive. Both log path programs run the same burst, differing only in how
// the lines are delivered. GUI thread only.
class LogBurst : public QObject
{
    Q_OBJECT

public:
    using Delivery = std::function<void(const QStringList &lines)>;

    LogBurst(QPlainTextEdit *pane, Delivery delivery, QObject *parent = nullptr);

    // Reports the figures and emits finished() when the last line has been painted.
    void start();

    static QStringList makeLines();

signals:
    void finished();

private:
    void onBlockCountChanged(int count);
    void onPainted();

    QPlainTextEdit *m_pane; // not owned
    Delivery m_delivery;
    QStringList m_lines;
    LatencyMonitor m_monitor;
    PaintIdleProbe m_probe;
    int m_expectedBlocks = 0;
    qint64 m_startNs = 0;
    qint64 m_rssBeforeKib = 0;
    bool m_allIn = false;
};
