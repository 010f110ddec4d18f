// SPDX-License-Identifier: MIT
#include "engine/store/cresultsstore.h"

#include "engine/store/cburninreader.h"
#include "engine/store/csqltransaction.h"
#include "engine/store/resultsschema.h"
#include "engine/store/sqlconnection.h"
#include "engine/store/sqlitereason.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {

const char kDatabaseName[] = "results.sqlite";
const char kBrokenTimeFormat[] = "yyyyMMdd-HHmmss";
const char kCsvNameTimeFormat[] = "yyyyMMdd-HHmmss";
const char kImportReason[] = "导入";
// How long a write waits for another connection's transaction, a long import say, before it
// fails: longer than any import of one run takes.
constexpr int kBusyTimeoutMs = 10000;
// SQLite's primary result codes for a file that is not, or is no longer, a database.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;
constexpr int kSqlitePrimaryCodeMask = 0xff;
// The fields of a card as cardColumns() lists them.
constexpr int kFirstStepField = 8;
constexpr int kDuplicateField = kFirstStepField + kBurnInStepCount;
constexpr int kOutcomeField = kDuplicateField + 1;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QMutex &openMutex()
{
    static QMutex mutex;
    return mutex;
}

QString newRunId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// ISO 8601 with the offset always written out, also for UTC, where Qt would write "Z", so that
// every stored time reads alike.
QString isoTime(const QDateTime &time)
{
    if (!time.isValid())
        return QString();
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toOffsetFromUtc(offset).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz"))
        + QLatin1Char(offset < 0 ? '-' : '+')
        + QStringLiteral("%1:%2")
              .arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QDateTime parseTime(const QString &text)
{
    return QDateTime::fromString(text, Qt::ISODateWithMs);
}

QDateTime orNow(const QDateTime &time)
{
    return time.isValid() ? time : QDateTime::currentDateTime();
}

// A NOT NULL text column: the drivers bind a null QString as NULL.
QVariant text(const QString &value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

// Prepares sql, binds values in order and runs it.
bool execute(QSqlQuery &query, const QString &sql, const QVariantList &values)
{
    if (!query.prepare(sql))
        return false;
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query.exec();
}

bool isBroken(const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt() & kSqlitePrimaryCodeMask;
    return code == kSqliteCorrupt || code == kSqliteNotADatabase;
}

QString cardColumns()
{
    return ResultsSchema::cardColumns().join(QStringLiteral(", "));
}

QString insertCardSql()
{
    QStringList values;
    for (int field = 0; field <= kOutcomeField; ++field)
        values << QStringLiteral("?");
    return QStringLiteral("INSERT INTO cards (run_id, %1) VALUES (?, %2)")
        .arg(cardColumns(), values.join(QStringLiteral(", ")));
}

BurnInRecord cardFrom(const QSqlQuery &query)
{
    BurnInRecord record;
    record.index = query.value(0).toInt();
    if (!query.isNull(1))
        record.started = parseTime(query.value(1).toString());
    record.cardNumber = query.value(2).toString();
    record.passed = query.value(3).toInt() != 0;
    if (!query.isNull(4))
        record.failedStep = ResultsSchema::stepFromKey(query.value(4).toString());
    record.failedCode = query.value(5).toInt();
    record.elapsedMs = query.value(6).toLongLong();
    for (int step = 0; step < kBurnInStepCount; ++step) {
        const int field = kFirstStepField + step;
        record.stepMs[static_cast<std::size_t>(step)]
            = query.isNull(field) ? -1 : query.value(field).toLongLong();
    }
    record.duplicate = query.value(kDuplicateField).toInt() != 0;
    // A key that a later version may add reads as the device's code, as every card before did.
    record.outcome = burnInOutcomeFromKey(query.value(kOutcomeField).toString())
                         .value_or(BurnInOutcome::DeviceCode);
    return record;
}

// A run's plan as stored, in planFrom()'s order; prefix names the table, e.g. "r.".
constexpr int kPlanFields = 20;

QString planColumns(const QString &prefix = QString())
{
    QStringList columns = ResultsSchema::planColumns();
    Q_ASSERT(columns.size() == kPlanFields);
    for (QString &column : columns)
        column.prepend(prefix);
    return columns.join(QStringLiteral(", "));
}

// The plan's columns from first on, as planColumns() lists them. The paths are as stored.
ResultsRunPlan planFrom(const QSqlQuery &query, int first)
{
    ResultsRunPlan plan;
    plan.station = query.value(first).toString();
    plan.mode = ResultsSchema::modeFromKey(query.value(first + 1).toString())
                    .value_or(BurnInMode::Capture);
    plan.cardsPlanned = query.value(first + 2).toInt();
    plan.stopOnFailure = query.value(first + 3).toInt() != 0;
    plan.createdAt = parseTime(query.value(first + 4).toString());
    plan.csvPath = query.value(first + 5).toString();
    plan.logPath = query.value(first + 6).toString();
    plan.unit.serial = query.value(first + 7).toString();
    plan.unit.model = query.value(first + 8).toString();
    plan.unit.operatorName = query.value(first + 9).toString();
    plan.limits.targetMcbf = query.value(first + 10).toLongLong();
    plan.limits.confidence = query.value(first + 11).toInt();
    plan.limits.maxP95Seconds = query.value(first + 12).toDouble();
    plan.limits.earlyFail = query.value(first + 13).toInt() != 0;
    plan.limits.plannedCards = plan.cardsPlanned;
    plan.connection = query.value(first + 14).toString();
    plan.limits.test = ResultsSchema::testPlanFrom(query.value(first + 15).toString(),
        query.value(first + 16).toLongLong(), query.value(first + 17).toDouble(),
        query.value(first + 18).toInt(), query.value(first + 19).toInt());
    return plan;
}

ResultsRunState stateOf(const ResultsRunSummary &run, const QString &activeRunId)
{
    if (run.lastEvent == ResultsEventKind::End)
        return endedRunState(run);
    return run.runId == activeRunId ? ResultsRunState::Running : ResultsRunState::Interrupted;
}

// The start time of a legacy run from its CSV's name, burnin-[<serial>-]<yyyyMMdd-HHmmss>[-N].csv.
QDateTime csvNameTime(const QString &fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^burnin-(?:.+-)?(\\d{8}-\\d{6})(?:-\\d+)?\\.csv$"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    return match.hasMatch()
        ? QDateTime::fromString(match.captured(1), QLatin1String(kCsvNameTimeFormat))
        : QDateTime();
}

QDateTime cardEnd(const BurnInRecord &record)
{
    return record.started.isValid() ? record.started.addMSecs(record.elapsedMs) : QDateTime();
}

} // namespace

QString fileSha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

CResultsStore::CResultsStore() = default;

CResultsStore::~CResultsStore()
{
    close();
}

QString CResultsStore::databasePath(const QString &resultsFolder)
{
    return QDir::cleanPath(QDir(resultsFolder).absoluteFilePath(QLatin1String(kDatabaseName)));
}

bool CResultsStore::open(const QString &resultsFolder, bool quickCheck)
{
    close();
    m_error.clear();
    m_notice.clear();
    m_folder = QDir::cleanPath(QDir(resultsFolder).absolutePath());
    m_path = databasePath(m_folder);
    if (!QDir().mkpath(m_folder)) {
        m_error = QStringLiteral("无法创建结果文件夹 %1").arg(native(m_folder));
        return false;
    }
    // Two stores of this process that find the file broken at once must not both set it aside:
    // the second would move the first one's new file.
    QMutexLocker locker(&openMutex());
    QString problem;
    Check check = connect(quickCheck, &problem);
    if (check == Check::Broken) {
        // Moved while still open: closing the last connection deletes the -wal, which is part
        // of what is kept. SQLite then finds nothing under the old names to clear up.
        const bool movedAside = setAside(problem);
        close();
        if (!movedAside)
            return false;
        check = connect(false, &problem);
        if (check == Check::Broken)
            m_error
                = QStringLiteral("新建的结果数据库 %1 也无法使用：%2").arg(native(m_path), problem);
    }
    if (check != Check::Usable) {
        close();
        return false;
    }
    return true;
}

CResultsStore::Check CResultsStore::connect(bool quickCheck, QString *problem)
{
    m_thread = QThread::currentThread();
    m_db = addSqlConnection(
        QStringLiteral("QSQLITE"), QStringLiteral("cdt-results-"), &m_connection);
    m_db.setDatabaseName(m_path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!m_db.open()) {
        m_error = QStringLiteral("无法打开结果数据库 %1：%2")
                      .arg(native(m_path), sqliteReason(m_db.lastError()));
        return Check::Failed;
    }
    // Opening reads nothing: the first statement is what finds a file that is not a database.
    QSqlQuery query(m_db);
    QStringList findings;
    const bool read = query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))
        && (!quickCheck || query.exec(QStringLiteral("PRAGMA quick_check")));
    if (!read) {
        *problem = query.lastError().databaseText();
        if (isBroken(query.lastError()))
            return Check::Broken;
        readFailed(query.lastError());
        return Check::Failed;
    }
    while (quickCheck && query.next())
        findings << query.value(0).toString();
    if (quickCheck && findings != QStringList {QStringLiteral("ok")}) {
        *problem = findings.value(0);
        return Check::Broken;
    }
    // WAL, so that the history reads while a run writes; FULL, so that a card is on disk when
    // its commit returns, not only in the log's page cache.
    const bool set = query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) && query.next()
        && query.value(0).toString() == QLatin1String("wal")
        && query.exec(QStringLiteral("PRAGMA synchronous = FULL"))
        && query.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    if (!set) {
        m_error = QStringLiteral("无法设置结果数据库 %1：%2")
                      .arg(native(m_path), sqliteReason(query.lastError()));
        return Check::Failed;
    }
    query.finish();
    return ResultsSchema::migrate(m_db, &m_error) ? Check::Usable : Check::Failed;
}

bool CResultsStore::setAside(const QString &problem)
{
    const QString stamp = QDateTime::currentDateTime().toString(QLatin1String(kBrokenTimeFormat));
    const QString base = m_path + QStringLiteral(".broken-") + stamp;
    QString aside = base;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo::exists(aside + QStringLiteral("-wal"));
         ++n)
        aside = base + QStringLiteral("-%1").arg(n);
    QStringList moved;
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (!QFileInfo::exists(m_path + suffix))
            continue;
        if (!QFile::rename(m_path + suffix, aside + suffix)) {
            m_error = QStringLiteral("结果数据库 %1 已损坏（%2），但无法改名为 %3")
                          .arg(native(m_path + suffix), problem, native(aside + suffix));
            return false;
        }
        moved << native(aside + suffix);
    }
    m_notice = QStringLiteral("结果数据库 %1 已损坏（%2），已移到 %3，并新建了 %1")
                   .arg(native(m_path), problem, moved.join(QStringLiteral("、")));
    return true;
}

void CResultsStore::close()
{
    removeSqlConnection(m_db, &m_connection, m_thread);
}

bool CResultsStore::writeFailed(const QSqlError &error)
{
    m_error = QStringLiteral("无法写入结果数据库 %1：%2").arg(native(m_path), sqliteReason(error));
    return false;
}

bool CResultsStore::readFailed(const QSqlError &error)
{
    m_error = QStringLiteral("无法读取结果数据库 %1：%2").arg(native(m_path), sqliteReason(error));
    return false;
}

QString CResultsStore::storedPath(const QString &path) const
{
    if (path.isEmpty())
        return QString();
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString relative = QDir(m_folder).relativeFilePath(absolute);
    return relative.startsWith(QLatin1String("../")) || QDir::isAbsolutePath(relative) ? absolute
                                                                                       : relative;
}

QString CResultsStore::shownPath(const QString &stored) const
{
    return stored.isEmpty() ? QString() : QDir::cleanPath(QDir(m_folder).absoluteFilePath(stored));
}

bool CResultsStore::insertRun(const QString &runId, const ResultsRunPlan &plan)
{
    QSqlQuery query(m_db);
    const QString sql = QStringLiteral("INSERT INTO runs (run_id, %1) VALUES (?%2)")
                            .arg(planColumns(), QStringLiteral(", ?").repeated(kPlanFields));
    QVariantList values {runId, text(plan.station), ResultsSchema::modeKey(plan.mode),
        plan.cardsPlanned, int(plan.stopOnFailure), isoTime(orNow(plan.createdAt)),
        text(storedPath(plan.csvPath)), text(storedPath(plan.logPath)), text(plan.unit.serial),
        text(plan.unit.model), text(plan.unit.operatorName), plan.limits.targetMcbf,
        plan.limits.confidence, plan.limits.maxP95Seconds, int(plan.limits.earlyFail),
        text(plan.connection)};
    values << ResultsSchema::testPlanValues(plan.limits.test);
    return execute(query, sql, values) || writeFailed(query.lastError());
}

bool CResultsStore::insertEvent(const QString &runId, const ResultsRunEvent &event)
{
    // The sequence number is found by the insert itself, inside the caller's transaction, so
    // that two writers of one run cannot take the same number.
    QSqlQuery query(m_db);
    return execute(query,
               QStringLiteral("INSERT INTO run_events (run_id, seq, at, kind, reason, "
                              "tool_version, library_path, library_sha256) "
                              "SELECT ?, coalesce(max(seq), 0) + 1, ?, ?, ?, ?, ?, ? "
                              "FROM run_events WHERE run_id = ?"),
               {runId, isoTime(orNow(event.at)), resultsEventKindKey(event.kind),
                   text(event.reason), text(event.toolVersion), text(event.libraryPath),
                   text(event.librarySha256), runId})
        || writeFailed(query.lastError());
}

bool CResultsStore::insertCard(QSqlQuery &query, const QString &runId, const BurnInRecord &record)
{
    query.addBindValue(runId);
    query.addBindValue(record.index);
    query.addBindValue(record.started.isValid() ? QVariant(isoTime(record.started)) : QVariant());
    query.addBindValue(text(record.cardNumber));
    query.addBindValue(int(record.passed));
    query.addBindValue(
        record.failedStep ? QVariant(ResultsSchema::stepKey(*record.failedStep)) : QVariant());
    query.addBindValue(record.failedCode);
    query.addBindValue(record.elapsedMs);
    query.addBindValue(record.deviceMs());
    for (const qint64 ms : record.stepMs)
        query.addBindValue(ms >= 0 ? QVariant(ms) : QVariant());
    query.addBindValue(int(record.duplicate));
    query.addBindValue(burnInOutcomeKey(record.outcome));
    return query.exec() || writeFailed(query.lastError());
}

bool CResultsStore::ready()
{
    if (isOpen())
        return true;
    m_error = QStringLiteral("结果数据库 %1 未打开").arg(native(m_path));
    return false;
}

QString CResultsStore::createRun(const ResultsRunPlan &plan)
{
    if (!ready())
        return QString();
    const QString runId = newRunId();
    CSqlTransaction transaction(m_db);
    const bool written = (transaction.isOpen() || writeFailed(transaction.error()))
        && insertRun(runId, plan) && (transaction.commit() || writeFailed(transaction.error()));
    return written ? runId : QString();
}

bool CResultsStore::addEvent(const QString &runId, const ResultsRunEvent &event)
{
    if (!ready())
        return false;
    CSqlTransaction transaction(m_db);
    return (transaction.isOpen() || writeFailed(transaction.error())) && insertEvent(runId, event)
        && (transaction.commit() || writeFailed(transaction.error()));
}

bool CResultsStore::addCard(const QString &runId, const BurnInRecord &record)
{
    if (!ready())
        return false;
    CSqlTransaction transaction(m_db);
    QSqlQuery query(m_db);
    return (transaction.isOpen() || writeFailed(transaction.error()))
        && (query.prepare(insertCardSql()) || writeFailed(query.lastError()))
        && insertCard(query, runId, record)
        && (transaction.commit() || writeFailed(transaction.error()));
}

QVector<ResultsRunSummary> CResultsStore::runs(bool stationBusy, const QString &ownRunId)
{
    if (!ready())
        return {};
    // Counts come from the (run_id, passed) index, first and last card from the
    // (run_id, card_index) one, so that a run of 100,000 cards costs no more than its index.
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    // The plan's fields first, then what the cards and the events say.
    const QString sql = QStringLiteral(
        "SELECT %1, r.rowid, r.run_id, coalesce(c.done, 0), coalesce(c.passed, 0),"
        " (SELECT started_at FROM cards WHERE run_id = r.run_id ORDER BY card_index LIMIT 1),"
        " (SELECT started_at FROM cards WHERE run_id = r.run_id"
        "  ORDER BY card_index DESC LIMIT 1),"
        " (SELECT elapsed_ms FROM cards WHERE run_id = r.run_id"
        "  ORDER BY card_index DESC LIMIT 1),"
        " e.kind, e.reason, e.at,"
        " (SELECT reason FROM run_events WHERE run_id = r.run_id AND kind = 'verdict'"
        "  ORDER BY seq DESC LIMIT 1) "
        "FROM runs AS r "
        "LEFT JOIN (SELECT run_id, count(*) AS done, sum(passed) AS passed FROM cards"
        "  GROUP BY run_id) AS c ON c.run_id = r.run_id "
        "LEFT JOIN run_events AS e ON e.run_id = r.run_id"
        "  AND e.seq = (SELECT max(seq) FROM run_events WHERE run_id = r.run_id"
        "  AND kind IN (%2))");
    if (!query.exec(
            sql.arg(planColumns(QStringLiteral("r.")), QLatin1String(kResultsLifeEventKinds)))) {
        readFailed(query.lastError());
        return {};
    }
    struct Found
    {
        qint64 rowid;
        ResultsRunSummary run;
    };
    enum Field {
        RowId = kPlanFields,
        RunId,
        Done,
        Passed,
        FirstStarted,
        LastStarted,
        LastElapsed,
        EventKind,
        EventReason,
        EventAt,
        Verdict
    };
    QVector<Found> found;
    while (query.next()) {
        ResultsRunSummary summary;
        summary.runId = query.value(RunId).toString();
        summary.plan = planFrom(query, 0);
        summary.plan.csvPath = shownPath(summary.plan.csvPath);
        summary.plan.logPath = shownPath(summary.plan.logPath);
        summary.cardsDone = query.value(Done).toInt();
        summary.passed = query.value(Passed).toInt();
        summary.firstCardStarted = parseTime(query.value(FirstStarted).toString());
        if (!query.isNull(EventKind))
            summary.lastEvent = resultsEventKindFromKey(query.value(EventKind).toString());
        summary.lastEventReason = query.value(EventReason).toString();
        summary.verdict = resultsVerdictFromKey(query.value(Verdict).toString());
        const QDateTime lastStarted = parseTime(query.value(LastStarted).toString());
        summary.lastActivity = lastStarted.isValid()
            ? lastStarted.addMSecs(query.value(LastElapsed).toLongLong())
            : !query.isNull(EventAt) ? parseTime(query.value(EventAt).toString())
                                     : summary.plan.createdAt;
        found << Found {query.value(RowId).toLongLong(), summary};
    }
    if (query.lastError().isValid()) {
        readFailed(query.lastError());
        return {};
    }

    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        if (a.run.plan.createdAt != b.run.plan.createdAt)
            return a.run.plan.createdAt > b.run.plan.createdAt;
        return a.rowid > b.rowid;
    });
    QString active = ownRunId;
    for (int i = 0; active.isEmpty() && stationBusy && i < found.size(); ++i) {
        if (found[i].run.lastEvent != ResultsEventKind::End)
            active = found[i].run.runId;
    }
    QVector<ResultsRunSummary> runs;
    runs.reserve(found.size());
    for (Found &entry : found) {
        entry.run.state = stateOf(entry.run, active);
        runs << entry.run;
    }
    return runs;
}

std::optional<ResultsRunPlan> CResultsStore::run(const QString &runId)
{
    m_missing = false;
    if (!ready())
        return std::nullopt;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!execute(query, QStringLiteral("SELECT %1 FROM runs WHERE run_id = ?").arg(planColumns()),
            {runId})) {
        readFailed(query.lastError());
        return std::nullopt;
    }
    if (!query.next() && !query.lastError().isValid()) {
        m_missing = true;
        m_error = QStringLiteral("结果数据库 %1 中没有运行 %2").arg(native(m_path), runId);
        return std::nullopt;
    }
    if (query.lastError().isValid()) {
        readFailed(query.lastError());
        return std::nullopt;
    }
    ResultsRunPlan plan = planFrom(query, 0);
    plan.csvPath = shownPath(plan.csvPath);
    plan.logPath = shownPath(plan.logPath);
    return plan;
}

QVector<ResultsRunEvent> CResultsStore::events(const QString &runId)
{
    if (!ready())
        return {};
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    QVector<ResultsRunEvent> events;
    if (execute(query,
            QStringLiteral("SELECT kind, reason, at, tool_version, library_path, library_sha256 "
                           "FROM run_events WHERE run_id = ? ORDER BY seq"),
            {runId})) {
        while (query.next()) {
            // A kind this version does not know is some later version's; it is left out.
            const std::optional<ResultsEventKind> kind
                = resultsEventKindFromKey(query.value(0).toString());
            if (!kind)
                continue;
            ResultsRunEvent event;
            event.kind = *kind;
            event.reason = query.value(1).toString();
            event.at = parseTime(query.value(2).toString());
            event.toolVersion = query.value(3).toString();
            event.libraryPath = query.value(4).toString();
            event.librarySha256 = query.value(5).toString();
            events << event;
        }
    }
    if (query.lastError().isValid()) {
        readFailed(query.lastError());
        return {};
    }
    return events;
}

QVector<BurnInRecord> CResultsStore::cards(const QString &runId)
{
    if (!ready())
        return {};
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    QVector<BurnInRecord> records;
    const QString sql = QStringLiteral("SELECT %1 FROM cards WHERE run_id = ? ORDER BY card_index");
    if (execute(query, sql.arg(cardColumns()), {runId})) {
        while (query.next())
            records << cardFrom(query);
    }
    if (query.lastError().isValid()) {
        readFailed(query.lastError());
        return {};
    }
    return records;
}

int CResultsStore::lastCardIndex(const QString &runId)
{
    if (!ready())
        return -1;
    QSqlQuery query(m_db);
    const bool read = execute(query,
                          QStringLiteral("SELECT coalesce(max(card_index), 0) FROM cards "
                                         "WHERE run_id = ?"),
                          {runId})
        && query.next();
    if (!read) {
        readFailed(query.lastError());
        return -1;
    }
    return query.value(0).toInt();
}

int CResultsStore::importCsvRuns(const QString &station, QStringList *skipped)
{
    if (!ready())
        return -1;
    QSet<QString> known;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT csv_path FROM runs"))) {
        readFailed(query.lastError());
        return -1;
    }
    while (query.next())
        known.insert(query.value(0).toString());
    query.finish();

    int imported = 0;
    const QFileInfoList files
        = QDir(m_folder).entryInfoList({QStringLiteral("burnin-*.csv")}, QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        const QString csvPath = QDir::cleanPath(file.absoluteFilePath());
        if (known.contains(storedPath(csvPath)))
            continue;
        const BurnInCsv csv = readBurnInCsv(csvPath);
        if (!csv.error.isEmpty()) {
            if (skipped)
                *skipped << csv.error;
            continue;
        }
        if (csv.records.isEmpty() || !csv.mode)
            continue;
        ResultsRunPlan plan;
        plan.station = station;
        plan.mode = *csv.mode;
        plan.cardsPlanned = static_cast<int>(csv.records.size());
        plan.createdAt = csvNameTime(file.fileName());
        if (!plan.createdAt.isValid())
            plan.createdAt = csv.records.front().started;
        if (!plan.createdAt.isValid())
            plan.createdAt = file.lastModified();
        plan.csvPath = csvPath;
        const QString logPath = csvPath.chopped(4) + QStringLiteral(".log");
        if (QFileInfo::exists(logPath))
            plan.logPath = logPath;
        const int result = importRun(plan, csv.records, !csv.cutShort);
        if (result < 0)
            return -1;
        imported += result;
    }
    return imported;
}

int CResultsStore::importRun(
    const ResultsRunPlan &plan, const QVector<BurnInRecord> &cards, bool ended)
{
    CSqlTransaction transaction(m_db);
    if (!transaction.isOpen()) {
        writeFailed(transaction.error());
        return -1;
    }
    // Asked again inside the transaction: a run that began since the caller looked may have
    // claimed the file.
    QSqlQuery query(m_db);
    if (!execute(query, QStringLiteral("SELECT count(*) FROM runs WHERE csv_path = ?"),
            {storedPath(plan.csvPath)})
        || !query.next()) {
        readFailed(query.lastError());
        return -1;
    }
    if (query.value(0).toInt() > 0)
        return 0;
    query.finish();

    const QString runId = newRunId();
    ResultsRunEvent start;
    start.at = plan.createdAt;
    ResultsRunEvent end;
    end.kind = ResultsEventKind::End;
    end.reason = QString::fromUtf8(kImportReason);
    end.at = cards.isEmpty() ? plan.createdAt : cardEnd(cards.back());
    QSqlQuery insert(m_db);
    bool written = insertRun(runId, plan) && insertEvent(runId, start)
        && (insert.prepare(insertCardSql()) || writeFailed(insert.lastError()));
    for (int i = 0; written && i < cards.size(); ++i)
        written = insertCard(insert, runId, cards[i]);
    written = written && (!ended || insertEvent(runId, end))
        && (transaction.commit() || writeFailed(transaction.error()));
    return written ? 1 : -1;
}
