// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninrun.h"
#include "engine/burnin/cburninsummary.h"
#include "engine/burnin/qualification.h"
#include "engine/records/burninrecord.h"

#include <QString>
#include <QVector>

#include <atomic>
#include <mutex>
#include <optional>

// What the page sees of a run under way, and its one way to stop it: the run's thread hands over
// the finished cards and the figures, and the page takes them on its own timer rather than in one
// event per card. Shared by the page and the run, either of which may go first; every member may
// be called from any thread.
class CBurnInProgress
{
public:
    // Why a run never began. The page shows the job's pane line; the command line also turns
    // it into its exit status.
    enum class NotBegun {
        No, // it began
        Stopped, // while it waited for its turn
        DeviceBusy, // another process holds the working folder's station lock
        // The dispenser could not be opened for the sitting's first card: the station's
        // connection (port, cable, power), which no card is charged for.
        DeviceUnavailable,
        RecordFailed, // the database or the record files could not be opened or written
        NoSuchRun, // the run to go on with is not in the database
        // The run to go on with has its verdict already (Outcome::verdict): all its planned
        // cards are done, or it is judged 不合格. More cards cannot change it.
        RunSettled,
    };

    // How the run ended, set once before it finishes.
    struct Outcome
    {
        NotBegun notBegun = NotBegun::No;
        std::optional<CBurnInRun::End> end; // once a run that began has ended
        // A card, an event or a record line could not be written: the record is incomplete,
        // whatever end the engine saw.
        bool recordFailed = false;
        Qualification::Verdict verdict = Qualification::Verdict::Undecided;
        QString reason; // why it did not begin, or how it ended, as the pane says it
        // With NotBegun::DeviceUnavailable and End::DeviceLost: the open's code.
        int openCode = 0;
    };

    struct Snapshot
    {
        QVector<BurnInRecord> cards; // finished since the last take
        BurnInFigures figures;
        bool started = false; // the record files were opened and the run began
        bool finished = false; // no card comes after these
        QString csvPath; // absolute, once started
        QString logPath;
        QString runId; // in the station database, once started
        // Once started: the limits it is judged by, plannedCards over all stretches, and the first
        // card of this stretch (1 for a new run).
        Qualification::Plan limits;
        int firstCard = 1;
        Outcome outcome; // complete once finished
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
    void begin(const QString &csvPath, const QString &logPath, const QString &runId,
        const Qualification::Plan &limits, int firstCard);
    void add(const BurnInRecord &card, const BurnInFigures &figures);
    // The outcome first, then finish: a front end that sees finished sees the outcome.
    void finish(const Outcome &outcome);

private:
    std::atomic<bool> m_stop {false};
    mutable std::mutex m_mutex;
    Snapshot m_snapshot;
};
