// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QVector>

#include <optional>

class CResultsStore;

// What the station's database holds and the shared server does not yet, as the forwarder sends
// it: oldest run first, each run's row once, its cards in index order, and its events with the
// batch that carries its last card, so that the server never has a run's end before the cards
// that came before it. Reads only what is committed, from one snapshot. Works on the store's
// connection, on the store's thread.
class CResultsOutbox
{
public:
    // The rows of one batch, each a JSON array keyed by column names (empty when none), and
    // how far each run they touch will have been sent once the server has committed them.
    struct Batch
    {
        struct Mark
        {
            QString runId;
            int lastSeq = 0;
            int lastCard = 0;
        };
        QByteArray runs;
        QByteArray events;
        QByteArray cards;
        int cardCount = 0;
        QVector<Mark> marks;

        bool isEmpty() const { return marks.isEmpty(); }
    };

    explicit CResultsOutbox(CResultsStore &store);

    // The runs of one station name that the server does not take from this login.
    struct HeldBack
    {
        QString station;
        int runs = 0;
    };

    // The next batch of at most maxCards cards (and any number of runs and events) of the runs
    // written in station's name, or of all runs when it is empty, leaving out the runs in
    // skipped, and of the first such run alone with oneRun; an empty one when the server has
    // everything of them, none on failure.
    std::optional<Batch> next(int maxCards, const QString &station = QString(),
        const QSet<QString> &skipped = {}, bool oneRun = false);
    // The runs with something unsent that were written in a name other than station, by name.
    std::optional<QVector<HeldBack>> heldBack(const QString &station);
    // Records, in one write, that the server has committed the batch. A mark only moves forward,
    // so that a batch sent twice (by two processes, say) never takes a run back.
    bool markSent(const Batch &batch);
    // The cards the server does not yet have; -1 on failure.
    qint64 unsentCards();
    QString error() const;

private:
    CResultsStore &m_store; // not owned
};
