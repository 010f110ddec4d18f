// SPDX-License-Identifier: MIT
#include "engine/store/resultsschema.h"

#include "engine/store/csqltransaction.h"
#include "engine/store/sqlitereason.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <iterator>
#include <vector>

namespace {

// In enum order.
const char *const kStepKeys[] = {"open", "status", "clear_channel", "dispense", "move_to_reader",
    "power_on", "read_chip", "power_off", "capture", "hand_out", "removal"};
static_assert(std::size(kStepKeys) == kBurnInStepCount, "a step without a key");

const char *const kPlanColumns[] = {"station", "mode", "cards_planned", "stop_on_failure",
    "created_at", "csv_path", "log_path", "serial", "model", "operator", "target_mcbf",
    "confidence", "max_p95_s", "early_fail", "connection", "plan", "plan_mcbf_lower",
    "plan_discrimination", "plan_producer_risk", "plan_consumer_risk"};
const char *const kEventColumns[]
    = {"seq", "at", "kind", "reason", "tool_version", "library_path", "library_sha256"};
// A card's columns before its step times; the step times follow, then duplicate and outcome.
const char *const kCardHead[] = {"card_index", "started_at", "card_number", "passed", "failed_step",
    "code", "elapsed_ms", "device_ms"};

template<std::size_t N> QStringList names(const char *const (&columns)[N])
{
    QStringList list;
    for (const char *column : columns)
        list << QString::fromLatin1(column);
    return list;
}

// Each version's statements as that version shipped them, written out rather than generated from
// the enums above: a step added to the program later must not change what an old step creates.
// Kinds and modes are not CHECKed, since SQLite can only change a CHECK by copying the table.
std::vector<std::vector<const char *>> migrationSteps()
{
    return {
        // 0 → 1
        {
            "CREATE TABLE runs ("
            " run_id TEXT PRIMARY KEY NOT NULL,"
            " station TEXT NOT NULL,"
            " mode TEXT NOT NULL,"
            " cards_planned INTEGER NOT NULL,"
            " stop_on_failure INTEGER NOT NULL,"
            " created_at TEXT NOT NULL,"
            " csv_path TEXT NOT NULL DEFAULT '',"
            " log_path TEXT NOT NULL DEFAULT '')",
            "CREATE INDEX runs_csv_path ON runs (csv_path)",
            "CREATE TABLE run_events ("
            " run_id TEXT NOT NULL REFERENCES runs (run_id),"
            " seq INTEGER NOT NULL,"
            " at TEXT NOT NULL,"
            " kind TEXT NOT NULL,"
            " reason TEXT NOT NULL DEFAULT '',"
            " tool_version TEXT NOT NULL DEFAULT '',"
            " library_path TEXT NOT NULL DEFAULT '',"
            " library_sha256 TEXT NOT NULL DEFAULT '',"
            " UNIQUE (run_id, seq))",
            "CREATE TABLE cards ("
            " run_id TEXT NOT NULL REFERENCES runs (run_id),"
            " card_index INTEGER NOT NULL,"
            " started_at TEXT,"
            " card_number TEXT NOT NULL,"
            " passed INTEGER NOT NULL,"
            " failed_step TEXT,"
            " code INTEGER NOT NULL,"
            " elapsed_ms INTEGER NOT NULL,"
            " device_ms INTEGER NOT NULL,"
            " step_open_ms INTEGER,"
            " step_status_ms INTEGER,"
            " step_clear_channel_ms INTEGER,"
            " step_dispense_ms INTEGER,"
            " step_move_to_reader_ms INTEGER,"
            " step_power_on_ms INTEGER,"
            " step_read_chip_ms INTEGER,"
            " step_power_off_ms INTEGER,"
            " step_capture_ms INTEGER,"
            " step_hand_out_ms INTEGER,"
            " step_removal_ms INTEGER,"
            " duplicate INTEGER NOT NULL,"
            " UNIQUE (run_id, card_index))",
            // The history's counts per run read this index alone, not the rows.
            "CREATE INDEX cards_passed ON cards (run_id, passed)",
        },
        // 1 → 2: the unit, the person and the limits. A run from before had none of them.
        {
            "ALTER TABLE runs ADD COLUMN serial TEXT NOT NULL DEFAULT ''",
            "ALTER TABLE runs ADD COLUMN model TEXT NOT NULL DEFAULT ''",
            "ALTER TABLE runs ADD COLUMN operator TEXT NOT NULL DEFAULT ''",
            "ALTER TABLE runs ADD COLUMN target_mcbf INTEGER NOT NULL DEFAULT 0",
            "ALTER TABLE runs ADD COLUMN confidence INTEGER NOT NULL DEFAULT 90",
            "ALTER TABLE runs ADD COLUMN max_p95_s REAL NOT NULL DEFAULT 0",
            "ALTER TABLE runs ADD COLUMN early_fail INTEGER NOT NULL DEFAULT 0",
            "CREATE INDEX runs_serial ON runs (serial)",
        },
        // 2 → 3: the connection the run opened, as the operator saw it. Runs from before all
        // opened the fixed one, but the record does not claim what it did not see.
        {
            "ALTER TABLE runs ADD COLUMN connection TEXT NOT NULL DEFAULT ''",
        },
        // 3 → 4: how far each run has reached the shared server, the forwarder's bookkeeping
        // rather than a record: a row per run, moved forward once per batch sent.
        {
            "CREATE TABLE forwarded ("
            " run_id TEXT PRIMARY KEY NOT NULL REFERENCES runs (run_id),"
            " last_seq INTEGER NOT NULL,"
            " last_card INTEGER NOT NULL)",
        },
        // 4 → 5: how a failed step ended, since a driver that hangs or crashes gives no code.
        // Every card before had the device's own.
        {
            "ALTER TABLE cards ADD COLUMN outcome TEXT NOT NULL DEFAULT 'code'",
        },
        // 5 → 6: the test plan a run is judged by, and its inputs. Every run before was judged
        // by the confidence bound.
        {
            "ALTER TABLE runs ADD COLUMN plan TEXT NOT NULL DEFAULT 'bound'",
            "ALTER TABLE runs ADD COLUMN plan_mcbf_lower INTEGER NOT NULL DEFAULT 0",
            "ALTER TABLE runs ADD COLUMN plan_discrimination REAL NOT NULL DEFAULT 0",
            "ALTER TABLE runs ADD COLUMN plan_producer_risk INTEGER NOT NULL DEFAULT 0",
            "ALTER TABLE runs ADD COLUMN plan_consumer_risk INTEGER NOT NULL DEFAULT 0",
        },
    };
}
static_assert(ResultsSchema::kVersion >= 6, "no version to migrate to");

QString failure(const QSqlDatabase &db, const QSqlError &error)
{
    return QStringLiteral("无法更新结果数据库 %1 的结构：%2")
        .arg(QDir::toNativeSeparators(db.databaseName()), sqliteReason(error));
}

// Reads a one-number answer; -1 on failure, with *error set.
int number(QSqlDatabase &db, const QString &sql, QSqlError *error)
{
    QSqlQuery query(db);
    if (!query.exec(sql) || !query.next()) {
        *error = query.lastError();
        return -1;
    }
    return query.value(0).toInt();
}

} // namespace

namespace ResultsSchema {

QString stepKey(BurnInStep step)
{
    return QString::fromLatin1(kStepKeys[static_cast<std::size_t>(step)]);
}

std::optional<BurnInStep> stepFromKey(const QString &key)
{
    for (int i = 0; i < kBurnInStepCount; ++i) {
        if (key == QLatin1String(kStepKeys[i]))
            return static_cast<BurnInStep>(i);
    }
    return std::nullopt;
}

QString stepColumn(BurnInStep step)
{
    return QStringLiteral("step_%1_ms").arg(stepKey(step));
}

QString modeKey(BurnInMode mode)
{
    return mode == BurnInMode::Capture ? QStringLiteral("capture") : QStringLiteral("handout");
}

std::optional<BurnInMode> modeFromKey(const QString &key)
{
    if (key == QLatin1String("capture"))
        return BurnInMode::Capture;
    if (key == QLatin1String("handout"))
        return BurnInMode::HandOut;
    return std::nullopt;
}

QStringList planColumns()
{
    return names(kPlanColumns);
}

QVariantList testPlanValues(const Qualification::TestPlan &plan)
{
    // Never a null text, which the drivers would bind as NULL: a named plan may lack its name.
    const QString key = Qualification::planKey(plan);
    const QVariant keyValue = key.isNull() ? QVariant(QStringLiteral("")) : QVariant(key);
    if (!plan.isPlan())
        return {keyValue, 0, 0.0, 0, 0};
    const bool risks = plan.kind != Qualification::PlanKind::Named;
    return {keyValue, plan.mcbfLower, plan.discrimination, risks ? plan.producerRisk : 0,
        risks ? plan.consumerRisk : 0};
}

Qualification::TestPlan testPlanFrom(
    const QString &key, qint64 mcbfLower, double discrimination, int producerRisk, int consumerRisk)
{
    using Qualification::PlanKind;
    Qualification::TestPlan plan;
    if (key == QLatin1String("bound"))
        return plan;
    if (key == QLatin1String("sequential"))
        plan.kind = PlanKind::Sequential;
    else if (key == QLatin1String("fixed"))
        plan.kind = PlanKind::Fixed;
    else
        plan.kind = PlanKind::Named;
    if (plan.kind == PlanKind::Named)
        plan.name = key;
    plan.mcbfLower = mcbfLower;
    plan.discrimination = discrimination;
    plan.producerRisk = producerRisk;
    plan.consumerRisk = consumerRisk;
    return plan;
}

QStringList eventColumns()
{
    return names(kEventColumns);
}

QStringList cardColumns()
{
    QStringList columns = names(kCardHead);
    for (int step = 0; step < kBurnInStepCount; ++step)
        columns << stepColumn(static_cast<BurnInStep>(step));
    columns << QStringLiteral("duplicate") << QStringLiteral("outcome");
    return columns;
}

bool migrate(QSqlDatabase &db, QString *error)
{
    // The version is read again inside each step's transaction: another process may have
    // brought the file up while this one waited for the lock.
    for (;;) {
        CSqlTransaction transaction(db);
        if (!transaction.isOpen()) {
            *error = failure(db, transaction.error());
            return false;
        }
        QSqlError sqlError;
        const int version = number(db, QStringLiteral("PRAGMA user_version"), &sqlError);
        const int objects
            = number(db, QStringLiteral("SELECT count(*) FROM sqlite_master"), &sqlError);
        if (version < 0 || objects < 0) {
            *error = failure(db, sqlError);
            return false;
        }
        if (version == kVersion) {
            if (transaction.commit())
                return true;
            *error = failure(db, transaction.error());
            return false;
        }
        if (version > kVersion) {
            *error = QStringLiteral(
                "结果数据库 %1 是第 %2 版，本程序只认识到第 %3 版：请用新版程序打开")
                         .arg(QDir::toNativeSeparators(db.databaseName()))
                         .arg(version)
                         .arg(kVersion);
            return false;
        }
        if (version == 0 && objects > 0) {
            *error = QStringLiteral("%1 不是本程序的结果数据库（含有其他程序的表），未作改动")
                         .arg(QDir::toNativeSeparators(db.databaseName()));
            return false;
        }
        QSqlQuery query(db);
        const std::vector<const char *> statements
            = migrationSteps()[static_cast<std::size_t>(version)];
        for (const char *statement : statements) {
            if (!query.exec(QString::fromLatin1(statement))) {
                *error = failure(db, query.lastError());
                return false;
            }
        }
        // A pragma takes no bound value; the number is the program's own.
        if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(version + 1))) {
            *error = failure(db, query.lastError());
            return false;
        }
        if (!transaction.commit()) {
            *error = failure(db, transaction.error());
            return false;
        }
    }
}

} // namespace ResultsSchema
