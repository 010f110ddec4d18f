// SPDX-License-Identifier: MIT
#pragma once

#include "burnin/burninrecord.h"
#include "burnin/cburninsummary.h"

#include <QString>
#include <QVector>

#include <atomic>
#include <mutex>

// What the page sees of a run under way, and its one way to stop it: the run's thread hands over
// the finished cards and the figures, and the page takes them on its own timer rather than in one
// event per card. Shared by the page and the run, either of which may go first; every member may
// be called from any thread.
class CBurnInProgress
{
public:
    struct Snapshot
    {
        QVector<BurnInRecord> cards; // finished since the last take
        BurnInFigures figures;
        bool started = false; // the record files were opened and the run began
        bool finished = false; // no card comes after these
        QString csvPath; // absolute, once started
        QString logPath;
        QString runId; // in the station database, once started
    };

    // The card in hand goes on to its end position, then the run ends. Whoever calls it also
    // wakes the device gate's waiters, so that a wait for the customer ends at once.
    void requestStop() { m_stop = true; }
    bool stopRequested() const { return m_stop; }
    const std::atomic<bool> &stopFlag() const { return m_stop; }

    Snapshot take();
    QString csvPath() const;
    QString runId() const;

    // The run's side.
    void begin(const QString &csvPath, const QString &logPath, const QString &runId);
    void add(const BurnInRecord &card, const BurnInFigures &figures);
    void finish();

private:
    std::atomic<bool> m_stop {false};
    mutable std::mutex m_mutex;
    Snapshot m_snapshot;
};
