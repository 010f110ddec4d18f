// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <mutex>

// Log lines on their way from test threads to the GUI thread, in the order they were pushed.
// A burst of lines costs the GUI thread one wake-up instead of one event per line: push()
// asks for a wake-up only when the consumer has found the queue empty since the last one.
// Every member may be called from any thread; take() from one consumer at a time.
class CLogQueue
{
public:
    // Returns true when the caller must wake the consumer, which then calls take() until it
    // comes back empty.
    bool push(const QString &line);
    // Queues the line behind others only while the consumer has some left to take; returns
    // false, queueing nothing, when it has none, so the caller may write the line itself.
    bool pushIfWaiting(const QString &line);
    // Up to maxLines (at least one) of the oldest lines. An empty result means the consumer may
    // sleep: the next push() asks for a wake-up again.
    QStringList take(int maxLines);

private:
    std::mutex m_mutex;
    std::deque<QString> m_lines;
    bool m_consumerAwake = false;
};
