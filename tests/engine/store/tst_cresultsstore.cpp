// SPDX-License-Identifier: MIT
#include "engine/store/cburninreader.h"
#include "engine/store/cburninwriter.h"
#include "engine/store/cresultsstore.h"
#include "engine/store/resultsschema.h"
#include "filesizelimit.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <thread>

namespace {

// Local time in the tests is UTC+08:00, so that a time written without its offset shows.
const char kZone[] = "Asia/Shanghai";
const QDateTime kStart(QDate(2026, 12, 8), QTime(10, 25, 32, 123));

BurnInRecord card(int index, bool passed = true)
{
    BurnInRecord record;
    record.index = index;
    record.started = kStart.addSecs(index);
    record.cardNumber = QStringLiteral("62%1").arg(index);
    record.passed = passed;
    if (!passed) {
        record.failedStep = BurnInStep::ReadChip;
        record.failedCode = -3;
    }
    record.elapsedMs = 900;
    record.stepTime(BurnInStep::Open) = 0;
    record.stepTime(BurnInStep::ReadChip) = 420;
    return record;
}

ResultsRunPlan plan(int cards, const QDateTime &created = kStart)
{
    ResultsRunPlan plan;
    plan.station = QStringLiteral("kiosk7");
    plan.cardsPlanned = cards;
    plan.createdAt = created;
    return plan;
}

ResultsRunEvent runEvent(ResultsEventKind kind, const QString &reason = QString())
{
    ResultsRunEvent event;
    event.kind = kind;
    event.reason = reason;
    return event;
}

// A connection of the test's own to the same file, to set it up and to look at what is stored.
class RawFile
{
public:
    explicit RawFile(const QString &path)
        : m_db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw")))
    {
        m_db.setDatabaseName(path);
        m_db.open();
    }
    ~RawFile()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    }
    RawFile(const RawFile &) = delete;
    RawFile &operator=(const RawFile &) = delete;

    // The first column of the first row, or the error.
    QVariant value(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery query(m_db);
        query.prepare(sql);
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            return query.lastError().text();
        return query.next() ? query.value(0) : QVariant();
    }

private:
    QSqlDatabase m_db;
};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool write(const QString &path, const QByteArray &bytes, qint64 at = 0)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.seek(at) && file.write(bytes) == bytes.size();
}

} // namespace

Q_DECLARE_METATYPE(BurnInRecord)
Q_DECLARE_METATYPE(ResultsRunState)
Q_DECLARE_METATYPE(Qualification::TestPlan)
Q_DECLARE_METATYPE(Qualification::PlanDecision)

class tst_CResultsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void opensFilesOfEachVersion_data();
    void opensFilesOfEachVersion();
    void setsBrokenFileAside_data();
    void setsBrokenFileAside();
    void fullDiskFailsTheCardNamingTheFile();
    void fullDatabaseSaysNoSpace();
    void cardsReadBackAsWritten_data();
    void cardsReadBackAsWritten();
    void listsRunsWithTheirFigures();
    void runStates_data();
    void runStates();
    void historyReadsWhileARunWrites();
    void importsLegacyCsvRunsOnce();
    void keepsTheUnitAndEachStretchsVerdict();
    void keepsTheTestPlan_data();
    void keepsTheTestPlan();

private:
    QString folder();

    QTemporaryDir m_dir;
    int m_folders = 0;
};

void tst_CResultsStore::initTestCase()
{
    qputenv("TZ", kZone);
    tzset();
    QCOMPARE(kStart.offsetFromUtc(), 8 * 3600);
}

QString tst_CResultsStore::folder()
{
    return m_dir.filePath(QString::number(++m_folders));
}

void tst_CResultsStore::opensFilesOfEachVersion_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QStringList>("errorWords");
    QTest::addColumn<int>("versionAfter");

    // The first version's tables as it shipped them, with one run of before.
    const QStringList version1 {"CREATE TABLE runs (run_id TEXT PRIMARY KEY NOT NULL,"
                                " station TEXT NOT NULL, mode TEXT NOT NULL,"
                                " cards_planned INTEGER NOT NULL, stop_on_failure INTEGER NOT NULL,"
                                " created_at TEXT NOT NULL, csv_path TEXT NOT NULL DEFAULT '',"
                                " log_path TEXT NOT NULL DEFAULT '')",
        "CREATE TABLE run_events (run_id TEXT NOT NULL, seq INTEGER NOT NULL, at TEXT NOT NULL,"
        " kind TEXT NOT NULL, reason TEXT NOT NULL DEFAULT '',"
        " tool_version TEXT NOT NULL DEFAULT '', library_path TEXT NOT NULL DEFAULT '',"
        " library_sha256 TEXT NOT NULL DEFAULT '', UNIQUE (run_id, seq))",
        "CREATE TABLE cards (run_id TEXT NOT NULL, card_index INTEGER NOT NULL)",
        "INSERT INTO runs VALUES ('old', 'kiosk7', 'capture', 10, 0,"
        " '2026-12-01T10:00:00.000+08:00', '', '')",
        "PRAGMA user_version = 1"};
    // The fifth version's, as far as the step after it touches them.
    const QStringList version5 {
        "CREATE TABLE runs (run_id TEXT PRIMARY KEY NOT NULL, station TEXT NOT NULL,"
        " mode TEXT NOT NULL, cards_planned INTEGER NOT NULL, stop_on_failure INTEGER NOT NULL,"
        " created_at TEXT NOT NULL, csv_path TEXT NOT NULL DEFAULT '',"
        " log_path TEXT NOT NULL DEFAULT '', serial TEXT NOT NULL DEFAULT '',"
        " model TEXT NOT NULL DEFAULT '', operator TEXT NOT NULL DEFAULT '',"
        " target_mcbf INTEGER NOT NULL DEFAULT 0, confidence INTEGER NOT NULL DEFAULT 90,"
        " max_p95_s REAL NOT NULL DEFAULT 0, early_fail INTEGER NOT NULL DEFAULT 0,"
        " connection TEXT NOT NULL DEFAULT '')",
        version1[1],
        "CREATE TABLE cards (run_id TEXT NOT NULL, card_index INTEGER NOT NULL,"
        " outcome TEXT NOT NULL DEFAULT 'code')",
        "CREATE TABLE forwarded (run_id TEXT PRIMARY KEY NOT NULL, last_seq INTEGER NOT NULL,"
        " last_card INTEGER NOT NULL)",
        "INSERT INTO runs (run_id, station, mode, cards_planned, stop_on_failure, created_at)"
        " VALUES ('old', 'kiosk7', 'capture', 10, 0, '2026-12-01T10:00:00.000+08:00')",
        "PRAGMA user_version = 5"};
    const int latest = ResultsSchema::kVersion;
    QTest::newRow("no file yet") << QStringList() << true << QStringList() << latest;
    QTest::newRow("empty file of version 0")
        << QStringList {"CREATE TABLE t (x)", "DROP TABLE t"} << true << QStringList() << latest;
    QTest::newRow("version 1 with a run") << version1 << true << QStringList() << latest;
    QTest::newRow("version 5 with a run") << version5 << true << QStringList() << latest;
    QTest::newRow("newer version is refused")
        << QStringList {"CREATE TABLE runs (x, later)",
               QStringLiteral("PRAGMA user_version = %1").arg(latest + 1)}
        << false
        << QStringList {QStringLiteral("第 %1 版").arg(latest + 1),
               QStringLiteral("第 %1 版").arg(latest)}
        << latest + 1;
    QTest::newRow("another program's file is refused")
        << QStringList {"CREATE TABLE cards (x)"} << false << QStringList {"其他程序"} << 0;
}

void tst_CResultsStore::opensFilesOfEachVersion()
{
    QFETCH(QStringList, setup);
    QFETCH(bool, opens);
    QFETCH(QStringList, errorWords);
    QFETCH(int, versionAfter);
    const QString results = folder();
    QVERIFY(QDir().mkpath(results));
    const QString path = CResultsStore::databasePath(results);
    {
        RawFile raw(path);
        for (const QString &statement : setup)
            QCOMPARE(raw.value(statement), QVariant());
    }

    CResultsStore store;
    QCOMPARE(store.open(results), opens);
    for (const QString &word : errorWords) {
        QVERIFY2(store.error().contains(word), qPrintable(store.error()));
        QVERIFY2(store.error().contains(path), qPrintable(store.error()));
    }
    QCOMPARE(store.notice(), QString());
    QCOMPARE(opens, !store.createRun(plan(1)).isEmpty());
    RawFile raw(path);
    QCOMPARE(raw.value(QStringLiteral("PRAGMA user_version")).toInt(), versionAfter);
    const int before = setup.filter(QStringLiteral("INSERT INTO runs")).size();
    QCOMPARE(raw.value(QStringLiteral("SELECT count(*) FROM runs")).toInt(),
        opens ? before + 1 : before);
    // A run from before the unit and the limits were kept has none of them.
    if (opens && before > 0) {
        const std::optional<ResultsRunPlan> old = store.run(QStringLiteral("old"));
        QVERIFY(old);
        QCOMPARE(old->unit.serial, QString());
        QVERIFY(!old->limits.hasLimit());
        QCOMPARE(old->limits.confidence, Qualification::kDefaultConfidence);
        // Nor a plan: it was judged by the confidence bound.
        QVERIFY(old->limits.test == Qualification::TestPlan());
        QCOMPARE(raw.value(QStringLiteral("SELECT plan FROM runs WHERE run_id = 'old'")),
            QVariant(QStringLiteral("bound")));
    }
}

void tst_CResultsStore::setsBrokenFileAside_data()
{
    QTest::addColumn<bool>("garbage"); // else one page of a good file overwritten
    QTest::addColumn<bool>("quickCheck");
    QTest::addColumn<bool>("setAside");

    QTest::newRow("not a database, with its -wal") << true << false << true;
    QTest::newRow("damaged page found by the quick check") << false << true << true;
    QTest::newRow("damaged page kept when no check is asked") << false << false << false;
}

void tst_CResultsStore::setsBrokenFileAside()
{
    QFETCH(bool, garbage);
    QFETCH(bool, quickCheck);
    QFETCH(bool, setAside);
    const QString results = folder();
    const QString path = CResultsStore::databasePath(results);
    const QByteArray junk = QByteArray("not a database ").repeated(300);
    if (garbage) {
        QVERIFY(QDir().mkpath(results));
        QVERIFY(write(path, junk));
        QVERIFY(write(path + QStringLiteral("-wal"), junk));
    } else {
        QVERIFY(CResultsStore().open(results));
        RawFile raw(path);
        QCOMPARE(raw.value(
                     QStringLiteral("INSERT INTO runs (run_id, station, mode, cards_planned, "
                                    "stop_on_failure, created_at) VALUES ('r', '', '', 0, 0, '')")),
            QVariant());
        QCOMPARE(
            raw.value(QStringLiteral(
                "WITH RECURSIVE i(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM i WHERE n < 3000)"
                " INSERT INTO cards (run_id, card_index, card_number, passed, code,"
                " elapsed_ms, device_ms, duplicate) SELECT 'r', n, hex(randomblob(16)), 1,"
                " 0, 0, 0, 0 FROM i")),
            QVariant());
    }
    if (!garbage)
        QVERIFY(write(path, QByteArray(4096, '\xAA'), 4096 * 19));
    const QByteArray before = contents(path);
    const QDir dir = QFileInfo(path).dir();

    CResultsStore store;
    QVERIFY2(store.open(results, quickCheck), qPrintable(store.error()));

    const QStringList asides = dir.entryList({QStringLiteral("*.broken-*")});
    if (!setAside) {
        QCOMPARE(store.notice(), QString());
        QCOMPARE(asides, QStringList());
        QCOMPARE(contents(path), before);
        return;
    }
    QVERIFY(store.runs(false).isEmpty());
    QVERIFY(!store.createRun(plan(1)).isEmpty());
    QVERIFY2(store.notice().contains(path), qPrintable(store.notice()));
    // The -shm goes with them when SQLite made one; it holds nothing of the records.
    const QStringList main = asides.filter(
        QRegularExpression(QStringLiteral("^results\\.sqlite\\.broken-\\d{8}-\\d{6}$")));
    QCOMPARE(main.size(), 1);
    const QString aside = main.front();
    const QString asidePath = dir.filePath(aside);
    QVERIFY2(store.notice().contains(asidePath), qPrintable(store.notice()));
    QCOMPARE(contents(asidePath), before);
    if (garbage) {
        QVERIFY2(store.notice().contains(asidePath + QStringLiteral("-wal")),
            qPrintable(store.notice()));
        QCOMPARE(contents(asidePath + QStringLiteral("-wal")), junk);
    }
}

// A full disk, as far as SQLite can tell: files may not grow past 64 KiB.
void tst_CResultsStore::fullDiskFailsTheCardNamingTheFile()
{
    CResultsStore store;
    QVERIFY(store.open(folder()));
    const QString run = store.createRun(plan(1000));
    QVERIFY(!run.isEmpty());

    int written = 0;
    {
        const FileSizeLimit disk(64 * 1024);
        while (written < 1000 && store.addCard(run, card(written + 1)))
            ++written;
    }

    QVERIFY(written < 1000);
    QVERIFY2(store.error().startsWith(QStringLiteral("无法写入结果数据库 ") + store.path()),
        qPrintable(store.error()));
    // The failed card left no half transaction behind: with room again it goes in.
    QVERIFY2(store.addCard(run, card(written + 1)), qPrintable(store.error()));
    QCOMPARE(store.lastCardIndex(run), written + 1);
    QCOMPARE(store.cards(run).size(), written + 1);
}

// SQLite's page limit, set on the store's own connection, gives the SQLITE_FULL of a full disk.
void tst_CResultsStore::fullDatabaseSaysNoSpace()
{
    CResultsStore store;
    QVERIFY(store.open(folder()));
    const QString run = store.createRun(plan(1000));
    const QStringList names
        = QSqlDatabase::connectionNames().filter(QStringLiteral("cdt-results-"));
    QCOMPARE(names.size(), 1);
    QSqlQuery limit(QSqlDatabase::database(names.front(), false));
    QVERIFY(limit.exec(QStringLiteral("PRAGMA page_count")) && limit.next());
    QVERIFY(limit.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(limit.value(0).toInt())));

    bool written = true;
    for (int i = 1; written && i <= 1000; ++i)
        written = store.addCard(run, card(i));
    QVERIFY(!written);
    QCOMPARE(store.error(),
        QStringLiteral("无法写入结果数据库 %1：No space left on device").arg(store.path()));
}

void tst_CResultsStore::cardsReadBackAsWritten_data()
{
    QTest::addColumn<BurnInRecord>("record");
    QTest::addColumn<QString>("startedAt");

    BurnInRecord handedOut = card(1);
    handedOut.stepTime(BurnInStep::HandOut) = 300;
    handedOut.stepTime(BurnInStep::Removal) = 15000;
    BurnInRecord failed = card(2, false);
    BurnInRecord duplicate = card(3);
    duplicate.duplicate = true;
    BurnInRecord noNumber = card(4);
    noNumber.cardNumber.clear();
    BurnInRecord utc = card(5);
    utc.started = utc.started.toUTC();
    BurnInRecord hostile = card(6);
    hostile.cardNumber = QStringLiteral("1'); DROP TABLE cards; --");
    BurnInRecord noTime = card(7);
    noTime.started = QDateTime();
    QTest::newRow("hand-out steps") << handedOut << "2026-12-08T10:25:33.123+08:00";
    QTest::newRow("failed step and code") << failed << "2026-12-08T10:25:34.123+08:00";
    QTest::newRow("duplicate") << duplicate << "2026-12-08T10:25:35.123+08:00";
    QTest::newRow("no card number") << noNumber << "2026-12-08T10:25:36.123+08:00";
    QTest::newRow("started given in UTC") << utc << "2026-12-08T02:25:37.123+00:00";
    QTest::newRow("card number with SQL in it") << hostile << "2026-12-08T10:25:38.123+08:00";
    QTest::newRow("no start time") << noTime << QString();
    BurnInRecord hung = card(8, false);
    hung.failedCode = 0;
    hung.outcome = BurnInOutcome::NoReply;
    BurnInRecord crashed = card(9, false);
    crashed.failedCode = 0;
    crashed.outcome = BurnInOutcome::DriverCrash;
    QTest::newRow("driver hung") << hung << "2026-12-08T10:25:40.123+08:00";
    QTest::newRow("driver crashed") << crashed << "2026-12-08T10:25:41.123+08:00";
}

void tst_CResultsStore::cardsReadBackAsWritten()
{
    QFETCH(BurnInRecord, record);
    QFETCH(QString, startedAt);
    CResultsStore store;
    QVERIFY(store.open(folder()));
    const QString run = store.createRun(plan(1));
    QVERIFY2(store.addCard(run, record), qPrintable(store.error()));

    const QVector<BurnInRecord> cards = store.cards(run);
    QCOMPARE(cards.size(), 1);
    QVERIFY(cards.front() == record);
    QCOMPARE(cards.front().started.offsetFromUtc(), record.started.offsetFromUtc());
    RawFile raw(store.path());
    QCOMPARE(raw.value(QStringLiteral("SELECT started_at FROM cards")).toString(), startedAt);
    const auto notRun = std::count(record.stepMs.begin(), record.stepMs.end(), -1);
    const int nulls
        = raw.value(QStringLiteral("SELECT (step_open_ms IS NULL) + (step_status_ms IS NULL)"
                                   " + (step_clear_channel_ms IS NULL) + (step_dispense_ms IS NULL)"
                                   " + (step_move_to_reader_ms IS NULL)"
                                   " + (step_power_on_ms IS NULL) + (step_read_chip_ms IS NULL)"
                                   " + (step_power_off_ms IS NULL) + (step_capture_ms IS NULL)"
                                   " + (step_hand_out_ms IS NULL) + (step_removal_ms IS NULL)"
                                   " FROM cards"))
              .toInt();
    QCOMPARE(nulls, notRun);
}

void tst_CResultsStore::listsRunsWithTheirFigures()
{
    const QString results = folder();
    CResultsStore store;
    QVERIFY(store.open(results));
    ResultsRunPlan older = plan(3, kStart.addDays(-1));
    older.mode = BurnInMode::HandOut;
    older.csvPath = results + QStringLiteral("/burnin-20261207-102532.csv");
    const QString first = store.createRun(older);
    const QString second = store.createRun(plan(5));
    const QString empty = store.createRun(plan(5, kStart.addDays(1)));
    QVERIFY(store.addEvent(first, runEvent(ResultsEventKind::Start)));
    for (int i = 1; i <= 3; ++i)
        QVERIFY(store.addCard(first, card(i, i != 2)));
    QVERIFY(store.addEvent(first, runEvent(ResultsEventKind::End, QStringLiteral("完成"))));
    QVERIFY(store.addEvent(second, runEvent(ResultsEventKind::Start)));
    QVERIFY(store.addCard(second, card(1)));

    const QVector<ResultsRunSummary> runs = store.runs(false);
    QCOMPARE(runs.size(), 3);
    QCOMPARE(runs[0].runId, empty);
    QCOMPARE(runs[1].runId, second);
    QCOMPARE(runs[2].runId, first);
    const ResultsRunSummary &done = runs[2];
    QCOMPARE(done.plan.mode, BurnInMode::HandOut);
    QCOMPARE(done.plan.csvPath, older.csvPath);
    QCOMPARE(done.plan.station, QStringLiteral("kiosk7"));
    QCOMPARE(done.cardsDone, 3);
    QCOMPARE(done.passed, 2);
    QCOMPARE(done.firstCardStarted, card(1).started);
    QCOMPARE(done.lastActivity, card(3).started.addMSecs(900));
    QCOMPARE(done.lastEvent, std::optional<ResultsEventKind>(ResultsEventKind::End));
    QCOMPARE(done.lastEventReason, QStringLiteral("完成"));
    QCOMPARE(runs[0].cardsDone, 0);
    QCOMPARE(runs[0].lastActivity, kStart.addDays(1));
    QCOMPARE(runs[0].lastEvent, std::optional<ResultsEventKind>());
    QCOMPARE(store.run(first)->csvPath, older.csvPath);
    QCOMPARE(store.lastCardIndex(second), 1);
    // The path is kept relative to the folder, so that a copied folder finds its files.
    QCOMPARE(RawFile(store.path())
                 .value(QStringLiteral("SELECT csv_path FROM runs WHERE run_id = ?"), {first}),
        QVariant(QStringLiteral("burnin-20261207-102532.csv")));
    // Sequence numbers follow on per run.
    QCOMPARE(
        RawFile(store.path())
            .value(QStringLiteral("SELECT max(seq) FROM run_events WHERE run_id = ?"), {first}),
        QVariant(2));
}

void tst_CResultsStore::runStates_data()
{
    QTest::addColumn<bool>("stationBusy");
    QTest::addColumn<QString>("own"); // the run this process runs, by name
    QTest::addColumn<QVector<ResultsRunState>>("states"); // complete, short, died, newest

    using S = ResultsRunState;
    QTest::newRow("station idle") << false << QString()
                                  << QVector<S> {S::Complete, S::Incomplete, S::Interrupted,
                                         S::Interrupted};
    QTest::newRow("another process runs")
        << true << QString() << QVector<S> {S::Complete, S::Incomplete, S::Interrupted, S::Running};
    QTest::newRow("this process runs an older one")
        << true << "died" << QVector<S> {S::Complete, S::Incomplete, S::Running, S::Interrupted};
}

void tst_CResultsStore::runStates()
{
    QFETCH(bool, stationBusy);
    QFETCH(QString, own);
    QFETCH(QVector<ResultsRunState>, states);
    CResultsStore store;
    QVERIFY(store.open(folder()));
    const QStringList names = {"complete", "short", "died", "newest"};
    QHash<QString, QString> ids;
    for (int i = 0; i < names.size(); ++i) {
        const QString run = store.createRun(plan(2, kStart.addSecs(i)));
        ids.insert(names[i], run);
        QVERIFY(store.addEvent(run, runEvent(ResultsEventKind::Start)));
        QVERIFY(store.addCard(run, card(1)));
    }
    // Ended, continued and ended again with all its cards.
    QVERIFY(
        store.addEvent(ids["complete"], runEvent(ResultsEventKind::End, QStringLiteral("停止"))));
    QVERIFY(store.addEvent(ids["complete"], runEvent(ResultsEventKind::Continue)));
    QVERIFY(store.addCard(ids["complete"], card(2)));
    QVERIFY(store.addEvent(ids["complete"], runEvent(ResultsEventKind::End)));
    QVERIFY(store.addEvent(ids["short"], runEvent(ResultsEventKind::End, QStringLiteral("停止"))));

    const QVector<ResultsRunSummary> runs = store.runs(stationBusy, ids.value(own));
    QCOMPARE(runs.size(), names.size());
    for (const ResultsRunSummary &run : runs) {
        const int i = static_cast<int>(names.indexOf(ids.key(run.runId)));
        QVERIFY2(run.state == states[i],
            qPrintable(names[i] + QStringLiteral(": ") + resultsRunStateName(run.state)));
    }
}

// Each on its own connection and thread, as the run and the history are.
void tst_CResultsStore::historyReadsWhileARunWrites()
{
    const QString results = folder();
    CResultsStore history;
    QVERIFY(history.open(results));
    constexpr int kCards = 40;
    QString written;
    std::atomic<bool> finished {false};
    std::thread writer([&]() {
        CResultsStore store;
        const QString run = store.open(results) ? store.createRun(plan(kCards)) : QString();
        for (int i = 1; !run.isEmpty() && i <= kCards && store.addCard(run, card(i)); ++i) { }
        written = store.error();
        finished = true;
    });
    int reads = 0;
    bool readsFailed = false;
    while (!finished) {
        readsFailed = readsFailed || history.runs(true).size() > 1 || !history.error().isEmpty();
        ++reads;
    }
    writer.join();
    QVERIFY2(!readsFailed, qPrintable(history.error()));
    QCOMPARE(written, QString());
    QVERIFY(reads > 0);
    QCOMPARE(history.runs(false).value(0).cardsDone, kCards);
}

void tst_CResultsStore::importsLegacyCsvRunsOnce()
{
    const QString results = folder();
    const auto legacy = [&results](const QDateTime &start, int cards, const QString &unit = {}) {
        CBurnInWriter writer;
        QString error;
        writer.open(results, start, BurnInMode::Capture, unit, &error);
        for (int i = 1; i <= cards; ++i)
            writer.writeRecord(card(i, i != 2));
        return writer.csvPath();
    };
    // Its start time is read from its name, past the unit's part.
    const QString whole = legacy(kStart, 3, QStringLiteral("SN-2026-1"));
    const QString cut = legacy(kStart.addSecs(60), 3);
    QVERIFY(QFile::resize(cut, QFileInfo(cut).size() - 10));
    legacy(kStart.addSecs(120), 0);
    const QString current = legacy(kStart.addSecs(180), 2);
    ResultsRunPlan currentPlan = plan(2, kStart.addSecs(180));
    currentPlan.csvPath = current;
    QVERIFY(write(QDir(results).filePath(QStringLiteral("burnin-notes.csv")), "name,age\r\n"));

    CResultsStore store;
    QVERIFY(store.open(results));
    QVERIFY(!store.createRun(currentPlan).isEmpty());
    QStringList skipped;
    QCOMPARE(store.importCsvRuns(QStringLiteral("kiosk7"), &skipped), 2);
    QCOMPARE(skipped.size(), 1);
    QVERIFY2(
        skipped.front().contains(QStringLiteral("burnin-notes.csv")), qPrintable(skipped.front()));
    skipped.clear();
    QCOMPARE(store.importCsvRuns(QStringLiteral("kiosk7"), &skipped), 0);

    const QVector<ResultsRunSummary> runs = store.runs(false);
    QCOMPARE(runs.size(), 3);
    QCOMPARE(runs[1].plan.csvPath, cut);
    QCOMPARE(runs[1].state, ResultsRunState::Interrupted);
    QCOMPARE(runs[1].cardsDone, 2);
    QCOMPARE(runs[2].plan.csvPath, whole);
    QCOMPARE(runs[2].state, ResultsRunState::Complete);
    QCOMPARE(runs[2].lastEventReason, QStringLiteral("导入"));
    QCOMPARE(runs[2].plan.createdAt, kStart.addMSecs(-123));
    QCOMPARE(runs[2].plan.logPath, whole.chopped(4) + QStringLiteral(".log"));
    QVERIFY(store.cards(runs[2].runId) == readBurnInCsv(whole).records);
    // A CSV names no plan: the run was judged by the bound.
    QVERIFY(runs[2].plan.limits.test == Qualification::TestPlan());
}

void tst_CResultsStore::keepsTheUnitAndEachStretchsVerdict()
{
    CResultsStore store;
    QVERIFY(store.open(folder()));
    ResultsRunPlan qualified = plan(300);
    qualified.unit = {QStringLiteral("SN'); DROP TABLE runs; --"), QStringLiteral("VK-200"),
        QStringLiteral("李工")};
    qualified.limits.targetMcbf = 100;
    qualified.limits.confidence = 95;
    qualified.limits.maxP95Seconds = 2.5;
    qualified.limits.earlyFail = true;
    qualified.connection = QStringLiteral("ttyS1，9600，BP：B");
    const QString runId = store.createRun(qualified);
    QVERIFY(!runId.isEmpty());
    // Two stretches, each closed by its verdict and then its end.
    const QVector<std::pair<ResultsEventKind, QString>> written {
        {ResultsEventKind::Start, QString()},
        {ResultsEventKind::Verdict, resultsVerdictKey(Qualification::Verdict::Undecided)},
        {ResultsEventKind::End, QStringLiteral("已停止")}, {ResultsEventKind::Continue, QString()},
        {ResultsEventKind::Verdict, resultsVerdictKey(Qualification::Verdict::Fail)},
        {ResultsEventKind::End, QStringLiteral("无法达标")}};
    for (const auto &[kind, reason] : written)
        QVERIFY2(store.addEvent(runId, runEvent(kind, reason)), qPrintable(store.error()));

    const std::optional<ResultsRunPlan> read = store.run(runId);
    QVERIFY(read);
    QCOMPARE(read->unit.serial, qualified.unit.serial);
    QCOMPARE(read->unit.model, qualified.unit.model);
    QCOMPARE(read->unit.operatorName, qualified.unit.operatorName);
    QCOMPARE(read->limits.targetMcbf, qint64(100));
    QCOMPARE(read->limits.confidence, 95);
    QCOMPARE(read->limits.maxP95Seconds, 2.5);
    QVERIFY(read->limits.earlyFail);
    QCOMPARE(read->qualification().plannedCards, 300);
    QCOMPARE(read->connection, qualified.connection);
    const QVector<ResultsRunEvent> events = store.events(runId);
    QCOMPARE(events.size(), written.size());
    for (int i = 0; i < events.size(); ++i) {
        QCOMPARE(events[i].kind, written[i].first);
        QCOMPARE(events[i].reason, written[i].second);
    }
    const ResultsRunSummary summary = store.runs(false).front();
    QCOMPARE(summary.verdict, std::optional<Qualification::Verdict>(Qualification::Verdict::Fail));
    QCOMPARE(summary.state, ResultsRunState::Incomplete);
    QCOMPARE(summary.plan.unit.serial, qualified.unit.serial);
}

void tst_CResultsStore::keepsTheTestPlan_data()
{
    using Qualification::PlanDecision;
    using Qualification::PlanKind;
    QTest::addColumn<Qualification::TestPlan>("written");
    QTest::addColumn<QString>("edit"); // run over the stored row before it is read back
    QTest::addColumn<QString>("stored"); // its plan columns
    QTest::addColumn<Qualification::TestPlan>("read");
    QTest::addColumn<qint64>("cycles");
    QTest::addColumn<qint64>("failures");
    QTest::addColumn<PlanDecision>("decision");

    // θ1 = 10,000 cycles throughout.
    const auto test = [](PlanKind kind, double d, int alpha, int beta, const QString &name = {}) {
        Qualification::TestPlan plan;
        plan.kind = kind;
        plan.name = name;
        plan.mcbfLower = 10000;
        plan.discrimination = d;
        plan.producerRisk = alpha;
        plan.consumerRisk = beta;
        return plan;
    };
    const Qualification::TestPlan sequential = test(PlanKind::Sequential, 2.0, 10, 10);
    const Qualification::TestPlan named = test(PlanKind::Named, 2.0, 0, 0, "XII-D");
    QTest::newRow("bound") << Qualification::TestPlan() << QString() << "bound 0 0.0 0 0"
                           << Qualification::TestPlan() << qint64(43945) << qint64(0)
                           << PlanDecision::Continue;
    QTest::newRow("sequential, accepted on its line")
        << sequential << QString() << "sequential 10000 2.0 10 10" << sequential << qint64(43945)
        << qint64(0) << PlanDecision::Accept;
    QTest::newRow("named, accepted at its length, risks not kept")
        << test(PlanKind::Named, 2.0, 10, 10, "XII-D") << QString() << "XII-D 10000 2.0 0 0"
        << named << qint64(188000) << qint64(13) << PlanDecision::Accept;
    // A row the program did not write is judged by nothing rather than by the bound.
    QTest::newRow("a plan this version does not know")
        << sequential << "UPDATE runs SET plan = 'weibull'"
        << "weibull 10000 2.0 10 10" << test(PlanKind::Named, 2.0, 10, 10, "weibull")
        << qint64(43945) << qint64(0) << PlanDecision::Continue;
    QTest::newRow("a risk out of range")
        << sequential << "UPDATE runs SET plan_producer_risk = 55"
        << "sequential 10000 2.0 55 10" << test(PlanKind::Sequential, 2.0, 55, 10) << qint64(43945)
        << qint64(0) << PlanDecision::Continue;
}

void tst_CResultsStore::keepsTheTestPlan()
{
    QFETCH(Qualification::TestPlan, written);
    QFETCH(QString, edit);
    QFETCH(QString, stored);
    QFETCH(Qualification::TestPlan, read);
    QFETCH(qint64, cycles);
    QFETCH(qint64, failures);
    QFETCH(Qualification::PlanDecision, decision);
    CResultsStore store;
    QVERIFY(store.open(folder()));
    ResultsRunPlan run = plan(1000);
    run.limits.test = written;
    const QString runId = store.createRun(run);
    QVERIFY2(!runId.isEmpty(), qPrintable(store.error()));
    RawFile raw(store.path());
    if (!edit.isEmpty())
        QCOMPARE(raw.value(edit), QVariant());
    QCOMPARE(raw.value(QStringLiteral("SELECT plan || ' ' || plan_mcbf_lower || ' ' ||"
                                      " plan_discrimination || ' ' || plan_producer_risk || ' ' ||"
                                      " plan_consumer_risk FROM runs"))
                 .toString(),
        stored);

    const std::optional<ResultsRunPlan> back = store.run(runId);
    QVERIFY2(back, qPrintable(store.error()));
    const Qualification::TestPlan &test = back->limits.test;
    QVERIFY2(test == read, qPrintable(Qualification::planText(test)));
    QVERIFY(store.runs(false).value(0).plan.limits.test == read);
    QCOMPARE(back->limits.hasLimit(), read.isPlan());
    QCOMPARE(
        Qualification::decide(test, Qualification::planLines(test), cycles, failures), decision);
}

QTEST_GUILESS_MAIN(tst_CResultsStore)
#include "tst_cresultsstore.moc"
