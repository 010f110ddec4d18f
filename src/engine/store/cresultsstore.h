// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"
#include "engine/records/resultsrun.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <optional>

class QSqlError;
class QSqlQuery;

// The kinds whose latest tells a run's state, as an SQL list; notes such as device_lost, and
// those a later version adds, are passed over.
inline constexpr char kResultsLifeEventKinds[] = "'start', 'continue', 'verdict', 'end'";

// The SHA-256 of a file's bytes in lower-case hex; empty when it cannot be read.
QString fileSha256(const QString &path);

// The station's record of its burn-in runs: one SQLite database per working folder,
// <results folder>/results.sqlite, beside the runs' CSV and log files. Every record is written
// once, in its own transaction, and is on disk when the call returns; none is changed after.
//
// A store is one connection and belongs to the thread that opened it: the run's thread writes
// through its own store, the history's thread reads through another, and each is destroyed on
// its own thread. Readers do not block the writer (the file is in WAL mode). Every call returns
// false, empty or -1 on failure and keeps error() naming the database file and why; a database
// that could not grow says "No space left on device", as the run's CSV and log do.
class CResultsStore
{
public:
    CResultsStore();
    ~CResultsStore();
    CResultsStore(const CResultsStore &) = delete;
    CResultsStore &operator=(const CResultsStore &) = delete;

    static QString databasePath(const QString &resultsFolder);

    // Creates the folder and the database as needed and brings an older file up to date. A file
    // that is not a database, or fails SQLite's quick check when quickCheck is set (pass it after
    // an unclean exit, not at every start: it reads the whole file), is renamed aside with its
    // -wal and -shm files to results.sqlite.broken-<yyyyMMdd-HHmmss> and a new one is started;
    // notice() then tells the operator both names. A file of a newer version, or another
    // program's, is refused and left as it is.
    bool open(const QString &resultsFolder, bool quickCheck = false);
    bool isOpen() const { return m_db.isOpen(); }
    QString path() const { return m_path; }
    QString error() const { return m_error; }
    // What open() did about a broken file, for the operator's log; empty when nothing.
    QString notice() const { return m_notice; }

    // Writes. Each is one transaction, committed with synchronous=FULL before it returns.
    // The new run's UUID; empty on failure.
    QString createRun(const ResultsRunPlan &plan);
    // The event gets the run's next sequence number, 1 for the first.
    bool addEvent(const QString &runId, const ResultsRunEvent &event);
    // A card's index is unique within its run: writing the same index twice fails.
    bool addCard(const QString &runId, const BurnInRecord &record);

    // Reads. Every run, newest first. The run being run right now is ownRunId when this
    // process runs it; otherwise, when stationBusy (the station lock is held by a live process,
    // CStationLock::isHeldByLiveProcess), the newest run that has not ended.
    QVector<ResultsRunSummary> runs(bool stationBusy, const QString &ownRunId = QString());
    // None when it cannot be read, or when there is no such run: missing() tells which.
    std::optional<ResultsRunPlan> run(const QString &runId);
    bool missing() const { return m_missing; }
    // In sequence order.
    QVector<ResultsRunEvent> events(const QString &runId);
    // In index order; started times carry the offset they were recorded with.
    QVector<BurnInRecord> cards(const QString &runId);
    // 0 without cards, -1 on failure.
    int lastCardIndex(const QString &runId);

    // Brings runs that exist only as burnin-*.csv in the results folder into the database, each
    // in one transaction: the run with the file's cards (as many planned as it holds), a start
    // event and, unless the file was cut short (the run was interrupted), an end event whose
    // reason is "导入". A file already in the database (by csv_path) is not read again, and
    // one without cards is left for later: it may be a run that has just begun. Files that are
    // not burn-in CSVs are described in *skipped, as the CSV history did. Returns the number
    // of runs imported, -1 when a write failed.
    int importCsvRuns(const QString &station, QStringList *skipped);

private:
    friend class CResultsOutbox;

    enum class Check { Usable, Broken, Failed };

    Check connect(bool quickCheck, QString *problem);
    bool setAside(const QString &problem);
    void close();
    // False when the store is not open, with error() saying so.
    bool ready();
    // Both keep an error naming the file and return false.
    bool writeFailed(const QSqlError &error);
    bool readFailed(const QSqlError &error);
    QString storedPath(const QString &path) const;
    QString shownPath(const QString &stored) const;
    bool insertRun(const QString &runId, const ResultsRunPlan &plan);
    bool insertEvent(const QString &runId, const ResultsRunEvent &event);
    bool insertCard(QSqlQuery &query, const QString &runId, const BurnInRecord &record);
    // 1 imported, 0 already there, -1 failed.
    int importRun(const ResultsRunPlan &plan, const QVector<BurnInRecord> &cards, bool ended);

    QSqlDatabase m_db;
    QString m_connection;
    QThread *m_thread = nullptr; // the thread that opened the connection; not owned
    QString m_folder;
    QString m_path;
    QString m_error;
    QString m_notice;
    bool m_missing = false; // the last run() found no such run
};
