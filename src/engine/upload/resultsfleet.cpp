// SPDX-License-Identifier: MIT
#include "engine/upload/resultsfleet.h"

#include "engine/records/mcbf.h"
#include "engine/store/resultsschema.h"
#include "engine/upload/cresultsserver.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

// The page is chosen from the runs alone, newest first; a run's verdict is looked up only when
// the filter asks for one (OR goes no further than a true first operand), and the cards and
// events are read for the page's runs only, each from its index: a late page costs what the
// first does. A text is found with strpos(), which takes it literally: a '%' or '_' typed in a
// filter is that character.
const char kVerdictSql[] = R"(
(SELECT reason FROM run_events WHERE run_id = r.run_id AND kind = 'verdict'
    ORDER BY seq DESC LIMIT 1))";
const char kFilterSql[] = R"(
FROM runs AS r
WHERE strpos(lower(r.model), lower(?)) > 0 AND strpos(lower(r.station), lower(?)) > 0
    AND strpos(lower(r.serial), lower(?)) > 0
    AND (CAST(? AS bigint) < 0 OR r.created_at >= to_timestamp(CAST(? AS bigint) / 1000.0))
    AND (CAST(? AS bigint) < 0 OR r.created_at < to_timestamp(CAST(? AS bigint) / 1000.0))
    AND (CAST(? AS text) = '' OR coalesce(%1, 'undecided') = CAST(? AS text)))";

// Times come as milliseconds since the epoch: QPSQL's reading of timestamptz has changed between
// Qt versions, a number has not.
const char kRunsSql[] = R"(
WITH page AS (SELECT r.* %1
    ORDER BY r.created_at DESC, r.run_id DESC LIMIT ? OFFSET ?)
SELECT r.run_id::text, r.station, r.mode, r.cards_planned, r.stop_on_failure,
    (extract(epoch FROM r.created_at) * 1000)::bigint, r.csv_path, r.log_path, r.serial, r.model,
    r.operator, r.target_mcbf, r.confidence, r.max_p95_s, r.early_fail, r.connection,
    r.plan, r.plan_mcbf_lower, r.plan_discrimination, r.plan_producer_risk, r.plan_consumer_risk,
    coalesce(c.done, 0), coalesce(c.passed, 0),
    (extract(epoch FROM f.started_at) * 1000)::bigint,
    (extract(epoch FROM l.started_at) * 1000)::bigint, l.elapsed_ms,
    e.kind, e.reason, (extract(epoch FROM e.at) * 1000)::bigint, %3
FROM page AS r
LEFT JOIN LATERAL (SELECT count(*) AS done, count(*) FILTER (WHERE passed) AS passed
    FROM cards WHERE run_id = r.run_id) AS c ON true
LEFT JOIN LATERAL (SELECT started_at FROM cards WHERE run_id = r.run_id
    ORDER BY card_index LIMIT 1) AS f ON true
LEFT JOIN LATERAL (SELECT started_at, elapsed_ms FROM cards WHERE run_id = r.run_id
    ORDER BY card_index DESC LIMIT 1) AS l ON true
LEFT JOIN LATERAL (SELECT kind, reason, at FROM run_events WHERE run_id = r.run_id
    AND kind IN (%2) ORDER BY seq DESC LIMIT 1) AS e ON true
ORDER BY r.created_at DESC, r.run_id DESC)";

const char kUnitSql[] = R"(
SELECT run_id::text, station, model, (extract(epoch FROM created_at) * 1000)::bigint, confidence,
    cards, failures, verdict, ended, unit_cycles
FROM unit_history WHERE serial = ? ORDER BY created_at, run_id)";

const char kParetoSql[] = R"(
SELECT failed_step, code, outcome, failures, share, cumulative_share
FROM failure_pareto(
    CASE WHEN CAST(? AS bigint) < 0 THEN NULL ELSE to_timestamp(CAST(? AS bigint) / 1000.0) END,
    CASE WHEN CAST(? AS bigint) < 0 THEN NULL ELSE to_timestamp(CAST(? AS bigint) / 1000.0) END)
WHERE model = ? ORDER BY rank)";

enum RunField {
    RunId,
    Station,
    Mode,
    CardsPlanned,
    StopOnFailure,
    CreatedAt,
    CsvPath,
    LogPath,
    Serial,
    Model,
    Operator,
    TargetMcbf,
    Confidence,
    MaxP95,
    EarlyFail,
    Connection,
    PlanKey,
    McbfLower,
    Discrimination,
    ProducerRisk,
    ConsumerRisk,
    Done,
    Passed,
    FirstStarted,
    LastStarted,
    LastElapsed,
    EventKind,
    EventReason,
    EventAt,
    Verdict,
};

const char kModelsSql[] = R"(
SELECT model, units, runs, cycles, failures FROM model_mcbf ORDER BY model)";

QDateTime timeAt(const QSqlQuery &query, int field)
{
    return query.isNull(field)
        ? QDateTime()
        : QDateTime::fromMSecsSinceEpoch(query.value(field).toLongLong(), Qt::UTC);
}

ResultsRunPlan planFrom(const QSqlQuery &query)
{
    ResultsRunPlan plan;
    plan.station = query.value(Station).toString();
    plan.mode
        = ResultsSchema::modeFromKey(query.value(Mode).toString()).value_or(BurnInMode::Capture);
    plan.cardsPlanned = query.value(CardsPlanned).toInt();
    plan.stopOnFailure = query.value(StopOnFailure).toBool();
    plan.createdAt = timeAt(query, CreatedAt);
    plan.csvPath = query.value(CsvPath).toString();
    plan.logPath = query.value(LogPath).toString();
    plan.unit.serial = query.value(Serial).toString();
    plan.unit.model = query.value(Model).toString();
    plan.unit.operatorName = query.value(Operator).toString();
    plan.limits.targetMcbf = query.value(TargetMcbf).toLongLong();
    plan.limits.confidence = query.value(Confidence).toInt();
    plan.limits.maxP95Seconds = query.value(MaxP95).toDouble();
    plan.limits.earlyFail = query.value(EarlyFail).toBool();
    plan.limits.plannedCards = plan.cardsPlanned;
    plan.connection = query.value(Connection).toString();
    // Read as the station reads its own, so that a plan run's verdict here is the plan's.
    plan.limits.test = ResultsSchema::testPlanFrom(query.value(PlanKey).toString(),
        query.value(McbfLower).toLongLong(), query.value(Discrimination).toDouble(),
        query.value(ProducerRisk).toInt(), query.value(ConsumerRisk).toInt());
    return plan;
}

ResultsRunSummary summaryFrom(const QSqlQuery &query, const QDateTime &now)
{
    ResultsRunSummary run;
    run.runId = query.value(RunId).toString();
    run.plan = planFrom(query);
    run.cardsDone = query.value(Done).toInt();
    run.passed = query.value(Passed).toInt();
    run.firstCardStarted = timeAt(query, FirstStarted);
    if (!query.isNull(EventKind))
        run.lastEvent = resultsEventKindFromKey(query.value(EventKind).toString());
    run.lastEventReason = query.value(EventReason).toString();
    run.verdict = resultsVerdictFromKey(query.value(Verdict).toString());
    const QDateTime lastStarted = timeAt(query, LastStarted);
    const QDateTime eventAt = timeAt(query, EventAt);
    run.lastActivity = lastStarted.isValid()
        ? lastStarted.addMSecs(query.value(LastElapsed).toLongLong())
        : eventAt.isValid() ? eventAt
                            : run.plan.createdAt;
    if (run.lastEvent == ResultsEventKind::End) {
        run.state = endedRunState(run);
    } else {
        // A continue after the last card is news from the station too.
        const QDateTime heard
            = eventAt.isValid() && eventAt > run.lastActivity ? eventAt : run.lastActivity;
        run.state = heard.secsTo(now) < qint64(ResultsFleet::kQuietMinutes) * 60
            ? ResultsRunState::Running
            : ResultsRunState::Interrupted;
    }
    return run;
}

// A day's start as milliseconds since the epoch, or -1 for none.
qint64 dayStart(const QDate &day)
{
    return day.isValid() ? QDateTime(day, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch() : -1;
}

// Binds the filter's values in kFilterSql's order.
void bindFilter(QSqlQuery &query, const ResultsFleet::FleetFilter &filter)
{
    const qint64 from = dayStart(filter.from);
    const qint64 to = filter.to.isValid() ? dayStart(filter.to.addDays(1)) : -1;
    const QString verdict = filter.verdict ? resultsVerdictKey(*filter.verdict) : QString();
    for (const QVariant &value : {QVariant(filter.model.trimmed()),
             QVariant(filter.station.trimmed()), QVariant(filter.serial.trimmed()), QVariant(from),
             QVariant(from), QVariant(to), QVariant(to), QVariant(verdict), QVariant(verdict)})
        query.addBindValue(value.userType() == QMetaType::QString && value.toString().isNull()
                ? QVariant(QStringLiteral(""))
                : value);
}

// Prepares and runs sql with values bound after the filter's; false after telling the server.
bool read(CResultsServer &server, QSqlQuery &query, const QString &sql,
    const ResultsFleet::FleetFilter *filter, const QVariantList &values)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return server.failed(query.lastError());
    if (filter)
        bindFilter(query, *filter);
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query.exec() || server.failed(query.lastError());
}

// After the last row: false, having told the server, when the rows stopped on an error.
bool readToEnd(CResultsServer &server, const QSqlQuery &query)
{
    return !query.lastError().isValid() || server.failed(query.lastError());
}

} // namespace

namespace ResultsFleet {

bool matches(const ResultsRunPlan &plan, const QString &filter)
{
    return filter.isEmpty() || plan.unit.serial.contains(filter, Qt::CaseInsensitive)
        || plan.unit.model.contains(filter, Qt::CaseInsensitive)
        || plan.station.contains(filter, Qt::CaseInsensitive);
}

std::optional<FleetPage> runs(
    CResultsServer &server, const FleetFilter &filter, int offset, int limit, const QDateTime &now)
{
    FleetPage page;
    page.filter = filter;
    page.offset = std::max(offset, 0);
    QSqlQuery query(server.database());
    const QString filterSql = QString::fromLatin1(kFilterSql).arg(QLatin1String(kVerdictSql));
    if (!read(server, query, QStringLiteral("SELECT count(*) ") + filterSql, &filter, {}))
        return std::nullopt;
    if (!query.next()) {
        server.failed(query.lastError());
        return std::nullopt;
    }
    page.total = query.value(0).toInt();
    const QString sql = QString::fromLatin1(kRunsSql).arg(
        filterSql, QLatin1String(kResultsLifeEventKinds), QLatin1String(kVerdictSql));
    if (!read(server, query, sql, &filter, {std::max(limit, 0), page.offset}))
        return std::nullopt;
    while (query.next())
        page.runs << summaryFrom(query, now);
    if (!readToEnd(server, query))
        return std::nullopt;
    return page;
}

std::optional<UnitHistory> unitHistory(CResultsServer &server, const QString &serial)
{
    UnitHistory history;
    history.serial = serial.trimmed();
    QSqlQuery query(server.database());
    if (!read(server, query, QLatin1String(kUnitSql), nullptr, {history.serial}))
        return std::nullopt;
    while (query.next()) {
        UnitRun run;
        run.runId = query.value(0).toString();
        run.station = query.value(1).toString();
        run.model = query.value(2).toString();
        run.createdAt = timeAt(query, 3);
        run.confidence = query.value(4).toInt();
        run.cards = query.value(5).toLongLong();
        run.failures = query.value(6).toLongLong();
        if (!query.isNull(7))
            run.verdict = resultsVerdictFromKey(query.value(7).toString());
        run.ended = query.value(8).toBool();
        history.cycles = query.value(9).toLongLong();
        history.runs << run;
    }
    if (!readToEnd(server, query))
        return std::nullopt;
    return history;
}

std::optional<QVector<FailureMode>> failureModes(
    CResultsServer &server, const QString &model, const QDate &from, const QDate &to)
{
    const qint64 start = dayStart(from);
    const qint64 end = to.isValid() ? dayStart(to.addDays(1)) : -1;
    QSqlQuery query(server.database());
    if (!read(server, query, QLatin1String(kParetoSql), nullptr,
            {start, start, end, end, model.trimmed()}))
        return std::nullopt;
    QVector<FailureMode> modes;
    while (query.next()) {
        FailureMode mode;
        const std::optional<BurnInStep> step
            = ResultsSchema::stepFromKey(query.value(0).toString());
        mode.step = step ? burnInStepName(*step) : query.value(0).toString();
        mode.code = query.value(1).toInt();
        const std::optional<BurnInOutcome> outcome
            = burnInOutcomeFromKey(query.value(2).toString());
        mode.outcome = outcome ? burnInOutcomeName(*outcome) : query.value(2).toString();
        mode.failures = query.value(3).toLongLong();
        mode.share = query.value(4).toDouble();
        mode.cumulativeShare = query.value(5).toDouble();
        modes << mode;
    }
    if (!readToEnd(server, query))
        return std::nullopt;
    return modes;
}

std::optional<QVector<ModelFigures>> models(CResultsServer &server)
{
    QSqlQuery query(server.database());
    if (!read(server, query, QLatin1String(kModelsSql), nullptr, {}))
        return std::nullopt;
    QVector<ModelFigures> found;
    while (query.next()) {
        ModelFigures model;
        model.model = query.value(0).toString();
        model.units = query.value(1).toInt();
        model.runs = query.value(2).toInt();
        model.cycles = query.value(3).toLongLong();
        model.failures = query.value(4).toLongLong();
        found << model;
    }
    if (!readToEnd(server, query))
        return std::nullopt;
    return found;
}

QString modelLine(const ModelFigures &model, int confidence)
{
    return QStringLiteral(
        "型号 %1  %2 台  %3 次运行  累计 %4 次  故障 %5 次  演示 MCBF %6 次（%7%）")
        .arg(model.model)
        .arg(model.units)
        .arg(model.runs)
        .arg(model.cycles)
        .arg(model.failures)
        .arg(Qualification::demonstratedMcbf(model.cycles, model.failures, confidence))
        .arg(confidence);
}

} // namespace ResultsFleet
