// SPDX-License-Identifier: MIT
#include "engine/upload/resultsfleet.h"

#include "engine/records/mcbf.h"
#include "engine/store/resultsschema.h"
#include "engine/upload/cresultsserver.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// Times come as milliseconds since the epoch: QPSQL's reading of timestamptz has changed between
// Qt versions, a number has not.
const char kRunsSql[] = R"(
SELECT r.run_id::text, r.station, r.mode, r.cards_planned, r.stop_on_failure,
    (extract(epoch FROM r.created_at) * 1000)::bigint, r.csv_path, r.log_path, r.serial, r.model,
    r.operator, r.target_mcbf, r.confidence, r.max_p95_s, r.early_fail, r.connection,
    r.plan, r.plan_mcbf_lower, r.plan_discrimination, r.plan_producer_risk, r.plan_consumer_risk,
    coalesce(c.done, 0), coalesce(c.passed, 0),
    (extract(epoch FROM f.started_at) * 1000)::bigint,
    (extract(epoch FROM l.started_at) * 1000)::bigint, l.elapsed_ms,
    e.kind, e.reason, (extract(epoch FROM e.at) * 1000)::bigint, v.reason
FROM runs AS r
LEFT JOIN LATERAL (SELECT count(*) AS done, count(*) FILTER (WHERE passed) AS passed
    FROM cards WHERE run_id = r.run_id) AS c ON true
LEFT JOIN LATERAL (SELECT started_at FROM cards WHERE run_id = r.run_id
    ORDER BY card_index LIMIT 1) AS f ON true
LEFT JOIN LATERAL (SELECT started_at, elapsed_ms FROM cards WHERE run_id = r.run_id
    ORDER BY card_index DESC LIMIT 1) AS l ON true
LEFT JOIN LATERAL (SELECT kind, reason, at FROM run_events WHERE run_id = r.run_id
    AND kind IN (%1) ORDER BY seq DESC LIMIT 1) AS e ON true
LEFT JOIN LATERAL (SELECT reason FROM run_events WHERE run_id = r.run_id AND kind = 'verdict'
    ORDER BY seq DESC LIMIT 1) AS v ON true
ORDER BY r.created_at DESC, r.run_id DESC)";

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

// A card counts against the model as Qualification::classify() counts it: failed, and not a card
// that the customer left at the front.
const char kModelsSql[] = R"(
SELECT r.model, count(DISTINCT nullif(r.serial, '')), count(*), coalesce(sum(c.cycles), 0),
    coalesce(sum(c.failures), 0)
FROM runs AS r
LEFT JOIN (SELECT run_id, count(*) AS cycles,
        count(*) FILTER (WHERE NOT passed
            AND (failed_step IS NULL OR failed_step <> ? OR code <> ?)) AS failures
    FROM cards GROUP BY run_id) AS c ON c.run_id = r.run_id
WHERE r.model <> ''
GROUP BY r.model
ORDER BY r.model)";

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

} // namespace

namespace ResultsFleet {

bool matches(const ResultsRunPlan &plan, const QString &filter)
{
    return filter.isEmpty() || plan.unit.serial.contains(filter, Qt::CaseInsensitive)
        || plan.unit.model.contains(filter, Qt::CaseInsensitive)
        || plan.station.contains(filter, Qt::CaseInsensitive);
}

std::optional<QVector<ResultsRunSummary>> runs(CResultsServer &server, const QDateTime &now)
{
    QSqlQuery query(server.database());
    query.setForwardOnly(true);
    if (!query.exec(QString::fromLatin1(kRunsSql).arg(QLatin1String(kResultsLifeEventKinds)))) {
        server.failed(query.lastError());
        return std::nullopt;
    }
    QVector<ResultsRunSummary> found;
    while (query.next())
        found << summaryFrom(query, now);
    if (query.lastError().isValid()) {
        server.failed(query.lastError());
        return std::nullopt;
    }
    return found;
}

std::optional<QVector<ModelFigures>> models(CResultsServer &server)
{
    QSqlQuery query(server.database());
    query.setForwardOnly(true);
    if (!query.prepare(QLatin1String(kModelsSql))) {
        server.failed(query.lastError());
        return std::nullopt;
    }
    query.addBindValue(ResultsSchema::stepKey(BurnInStep::Removal));
    query.addBindValue(kBurnInNotTaken);
    if (!query.exec()) {
        server.failed(query.lastError());
        return std::nullopt;
    }
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
    if (query.lastError().isValid()) {
        server.failed(query.lastError());
        return std::nullopt;
    }
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
