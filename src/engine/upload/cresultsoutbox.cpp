// SPDX-License-Identifier: MIT
#include "engine/upload/cresultsoutbox.h"

#include "engine/store/cresultsstore.h"
#include "engine/store/csqltransaction.h"
#include "engine/store/resultsschema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// SQLite's json_object() over the columns, run_id first, so that the server can take the rows
// by name whatever order its own table has.
QString jsonObject(QStringList columns)
{
    columns.prepend(QStringLiteral("run_id"));
    QStringList pairs;
    for (const QString &column : std::as_const(columns))
        pairs << QStringLiteral("'%1', %1").arg(column);
    return QStringLiteral("json_object(%1)").arg(pairs.join(QStringLiteral(", ")));
}

// Joins JSON arrays into one, leaving out the empty ones; empty when all are.
QByteArray joined(const QVector<QByteArray> &arrays)
{
    QByteArray all;
    for (const QByteArray &array : arrays) {
        if (array.size() <= 2)
            continue;
        all += all.isEmpty() ? '[' : ',';
        all += array.mid(1, array.size() - 2);
    }
    if (!all.isEmpty())
        all += ']';
    return all;
}

// A run of runs AS r, with its forwarded mark f, that has something the server lacks.
const char kUnsent[]
    = "(f.run_id IS NULL"
      " OR EXISTS (SELECT 1 FROM run_events WHERE run_id = r.run_id AND seq > f.last_seq)"
      " OR EXISTS (SELECT 1 FROM cards WHERE run_id = r.run_id AND card_index > f.last_card))";

bool execute(QSqlQuery &query, const QString &sql, const QVariantList &values)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return false;
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query.exec();
}

} // namespace

CResultsOutbox::CResultsOutbox(CResultsStore &store)
    : m_store(store)
{ }

QString CResultsOutbox::error() const
{
    return m_store.error();
}

std::optional<CResultsOutbox::Batch> CResultsOutbox::next(
    int maxCards, const QString &station, const QSet<QString> &skipped, bool oneRun)
{
    if (!m_store.ready())
        return std::nullopt;
    QSqlDatabase &db = m_store.m_db;
    // One snapshot for the whole batch: a card and an end event committed between two of its
    // reads must not let the end go ahead of the card.
    if (!db.transaction()) {
        m_store.readFailed(db.lastError());
        return std::nullopt;
    }
    // Ends the read, however the batch ends.
    struct EndRead
    {
        QSqlDatabase &db;
        ~EndRead()
        {
            // cppcheck-suppress ignoredReturnErrorCode ; it wrote nothing: nothing to undo
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        }
    } endRead {db};

    QSqlQuery pending(db);
    const bool found = execute(pending,
        QStringLiteral("SELECT r.run_id, f.run_id IS NOT NULL, coalesce(f.last_seq, 0),"
                       " coalesce(f.last_card, 0) "
                       "FROM runs AS r LEFT JOIN forwarded AS f ON f.run_id = r.run_id "
                       "WHERE (coalesce(?, '') = '' OR r.station = ?) AND %1 "
                       "ORDER BY r.created_at, r.rowid")
            .arg(QLatin1String(kUnsent)),
        {station, station});
    if (!found) {
        m_store.readFailed(pending.lastError());
        return std::nullopt;
    }
    struct Pending
    {
        QString runId;
        bool runSent;
        int lastSeq;
        int lastCard;
    };
    QVector<Pending> runs;
    while (pending.next()) {
        if (skipped.contains(pending.value(0).toString()))
            continue;
        runs << Pending {pending.value(0).toString(), pending.value(1).toBool(),
            pending.value(2).toInt(), pending.value(3).toInt()};
    }
    pending.finish();

    const QString runSql = QStringLiteral("SELECT %1 FROM runs WHERE run_id = ?")
                               .arg(jsonObject(ResultsSchema::planColumns()));
    // json() keeps each object an object on its way out of the subquery.
    const QString cardSql = QStringLiteral(
        "SELECT json_group_array(json(row)), count(*), max(card_index) FROM"
        " (SELECT %1 AS row, card_index FROM cards WHERE run_id = ? AND card_index > ?"
        "  ORDER BY card_index LIMIT ?)")
                                .arg(jsonObject(ResultsSchema::cardColumns()));
    const QString eventSql = QStringLiteral(
        "SELECT json_group_array(json(row)), max(seq) FROM"
        " (SELECT %1 AS row, seq FROM run_events WHERE run_id = ? AND seq > ? ORDER BY seq)")
                                 .arg(jsonObject(ResultsSchema::eventColumns()));
    QVector<QByteArray> runRows;
    QVector<QByteArray> eventRows;
    QVector<QByteArray> cardRows;
    Batch batch;
    QSqlQuery query(db);
    // Runs sql and steps onto its one row of answers.
    const auto read = [&query](const QString &sql, const QVariantList &values) {
        return execute(query, sql, values) && query.next();
    };
    for (const Pending &run : std::as_const(runs)) {
        const int budget = maxCards - batch.cardCount;
        if (budget <= 0 || (oneRun && !batch.isEmpty()))
            break;
        Batch::Mark mark {run.runId, run.lastSeq, run.lastCard};
        if (!run.runSent) {
            if (!read(runSql, {run.runId}))
                break;
            runRows << '[' + query.value(0).toByteArray() + ']';
        }
        if (!read(cardSql, {run.runId, run.lastCard, budget}))
            break;
        const int cards = query.value(1).toInt();
        cardRows << query.value(0).toByteArray();
        batch.cardCount += cards;
        if (cards > 0)
            mark.lastCard = query.value(2).toInt();
        // Its events go once the run has no card left behind.
        if (!read(QStringLiteral("SELECT EXISTS (SELECT 1 FROM cards"
                                 " WHERE run_id = ? AND card_index > ?)"),
                {run.runId, mark.lastCard}))
            break;
        if (!query.value(0).toBool()) {
            if (!read(eventSql, {run.runId, run.lastSeq}))
                break;
            eventRows << query.value(0).toByteArray();
            if (!query.isNull(1))
                mark.lastSeq = query.value(1).toInt();
        }
        batch.marks << mark;
    }
    if (query.lastError().isValid()) {
        m_store.readFailed(query.lastError());
        return std::nullopt;
    }
    batch.runs = joined(runRows);
    batch.events = joined(eventRows);
    batch.cards = joined(cardRows);
    return batch;
}

bool CResultsOutbox::markSent(const Batch &batch)
{
    if (!m_store.ready())
        return false;
    QSqlDatabase &db = m_store.m_db;
    CSqlTransaction transaction(db);
    if (!transaction.isOpen())
        return m_store.writeFailed(transaction.error());
    QSqlQuery query(db);
    if (!query.prepare(
            QStringLiteral("INSERT INTO forwarded (run_id, last_seq, last_card) VALUES (?, ?, ?) "
                           "ON CONFLICT (run_id) DO UPDATE SET"
                           " last_seq = max(last_seq, excluded.last_seq),"
                           " last_card = max(last_card, excluded.last_card)")))
        return m_store.writeFailed(query.lastError());
    for (const Batch::Mark &mark : batch.marks) {
        query.addBindValue(mark.runId);
        query.addBindValue(mark.lastSeq);
        query.addBindValue(mark.lastCard);
        if (!query.exec())
            return m_store.writeFailed(query.lastError());
    }
    return transaction.commit() || m_store.writeFailed(transaction.error());
}

std::optional<QVector<CResultsOutbox::HeldBack>> CResultsOutbox::heldBack(const QString &station)
{
    if (!m_store.ready())
        return std::nullopt;
    QSqlQuery query(m_store.m_db);
    if (!execute(query,
            QStringLiteral("SELECT r.station, count(*) "
                           "FROM runs AS r LEFT JOIN forwarded AS f ON f.run_id = r.run_id "
                           "WHERE r.station <> ? AND %1 GROUP BY r.station ORDER BY r.station")
                .arg(QLatin1String(kUnsent)),
            {station})) {
        m_store.readFailed(query.lastError());
        return std::nullopt;
    }
    QVector<HeldBack> held;
    while (query.next())
        held << HeldBack {query.value(0).toString(), query.value(1).toInt()};
    return held;
}

qint64 CResultsOutbox::unsentCards()
{
    if (!m_store.ready())
        return -1;
    // A range of the (run_id, card_index) index per run: nothing to count when all is sent.
    QSqlQuery query(m_store.m_db);
    if (!execute(query,
            QStringLiteral(
                "SELECT coalesce(sum((SELECT count(*) FROM cards"
                " WHERE run_id = r.run_id AND card_index > coalesce(f.last_card, 0))), 0) "
                "FROM runs AS r LEFT JOIN forwarded AS f ON f.run_id = r.run_id"),
            {})
        || !query.next()) {
        m_store.readFailed(query.lastError());
        return -1;
    }
    return query.value(0).toLongLong();
}
