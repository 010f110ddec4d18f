// SPDX-License-Identifier: MIT
#include "cli/clitext.h"

#include "engine/store/cresultsstore.h"

#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace {

QString decisionKey(Qualification::PlanDecision decision)
{
    switch (decision) {
    case Qualification::PlanDecision::Accept:
        return QStringLiteral("accept");
    case Qualification::PlanDecision::Reject:
        return QStringLiteral("reject");
    case Qualification::PlanDecision::Continue:
        break;
    }
    return QStringLiteral("continue");
}

// The plan of a run judged by one, its lines and where the run stood: null for the bound.
QJsonValue plan(const Qualification::Plan &limits, const Qualification::Standing &standing)
{
    const Qualification::TestPlan &plan = limits.test;
    if (!plan.isPlan())
        return QJsonValue();
    const Qualification::PlanLines lines = Qualification::planLines(plan);
    const auto number
        = [](double value) { return std::isfinite(value) ? QJsonValue(value) : QJsonValue(); };
    const bool sequential = plan.kind == Qualification::PlanKind::Sequential;
    const bool named = plan.kind == Qualification::PlanKind::Named;
    return QJsonObject {{"plan", Qualification::planKey(plan)}, {"mcbfLower", plan.mcbfLower},
        {"discrimination", plan.discrimination},
        {"producerRisk", named ? QJsonValue() : QJsonValue(plan.producerRisk)},
        {"consumerRisk", named ? QJsonValue() : QJsonValue(plan.consumerRisk)},
        {"a", sequential ? QJsonValue(lines.a) : QJsonValue()},
        {"b", sequential ? QJsonValue(lines.b) : QJsonValue()},
        {"c", sequential ? QJsonValue(lines.c) : QJsonValue()}, {"r0", lines.r0}, {"t0", lines.t0},
        {"n0", lines.n0}, {"trueProducerRisk", number(lines.trueProducerRisk * 100.0)},
        {"trueConsumerRisk", number(lines.trueConsumerRisk * 100.0)}, {"cycles", standing.cycles},
        {"failures", standing.failures},
        {"decision",
            decisionKey(Qualification::decide(plan, lines, standing.cycles, standing.failures))}};
}

QString duration(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString notBegunKey(CBurnInProgress::NotBegun notBegun)
{
    switch (notBegun) {
    case CBurnInProgress::NotBegun::No:
        return QString();
    case CBurnInProgress::NotBegun::Stopped:
        return QStringLiteral("stopped");
    case CBurnInProgress::NotBegun::DeviceBusy:
        return QStringLiteral("deviceBusy");
    case CBurnInProgress::NotBegun::RecordFailed:
        return QStringLiteral("recordFailed");
    case CBurnInProgress::NotBegun::NoSuchRun:
        return QStringLiteral("noSuchRun");
    case CBurnInProgress::NotBegun::DeviceUnavailable:
        return QStringLiteral("deviceUnavailable");
    case CBurnInProgress::NotBegun::RunSettled:
        return QStringLiteral("runSettled");
    }
    return QString();
}

} // namespace

namespace CliText {

QString progressLine(const BurnInFigures &figures, const Qualification::Plan &limits, int firstCard,
    qint64 elapsedMs)
{
    const Qualification::Standing standing = Qualification::standing(figures);
    const qint64 doneHere = figures.done - (firstCard - 1);
    const qint64 left = qMax<qint64>(0, limits.plannedCards - figures.done);
    const QString remaining
        = doneHere > 0 ? duration(elapsedMs * left / doneHere) : QStringLiteral("--");
    const QString duplicates = figures.duplicates > 0
        ? QStringLiteral("  重复卡号 %1").arg(figures.duplicates)
        : QString();
    // A plan run stands where its failures put it against the plan's reject count.
    const Qualification::PlanLines lines = Qualification::planLines(limits.test);
    const QString judged = limits.test.isPlan()
        ? QStringLiteral("失效 %1/%2  %3")
              .arg(standing.failures)
              .arg(lines.r0)
              .arg(Qualification::decisionText(
                  Qualification::decide(limits.test, lines, standing.cycles, standing.failures)))
        : QStringLiteral("演示 MCBF %1 次（%2%）")
              .arg(Qualification::demonstratedMcbf(
                  standing.cycles, standing.failures, limits.confidence))
              .arg(limits.confidence);
    return QStringLiteral("老化 %1/%2 张  通过 %3  失败 %4  通过率 %5%  %6  已用 %7  剩余 %8")
               .arg(figures.done)
               .arg(limits.plannedCards)
               .arg(figures.passed)
               .arg(figures.failed())
               .arg(figures.passRate(), 0, 'f', 1)
               .arg(judged, duration(elapsedMs), remaining)
        + duplicates;
}

QString endKey(CBurnInRun::End end)
{
    switch (end) {
    case CBurnInRun::End::Completed:
        return QStringLiteral("completed");
    case CBurnInRun::End::Stopped:
        return QStringLiteral("stopped");
    case CBurnInRun::End::StoppedOnFailure:
        return QStringLiteral("stoppedOnFailure");
    case CBurnInRun::End::FailureStreak:
        return QStringLiteral("failureStreak");
    case CBurnInRun::End::BoxEmpty:
        return QStringLiteral("boxEmpty");
    case CBurnInRun::End::CardLeftAtFront:
        return QStringLiteral("cardLeftAtFront");
    case CBurnInRun::End::ChannelBlocked:
        return QStringLiteral("channelBlocked");
    case CBurnInRun::End::RecordFailed:
        return QStringLiteral("recordFailed");
    case CBurnInRun::End::VerdictSettled:
        return QStringLiteral("verdictSettled");
    case CBurnInRun::End::Interrupted:
        return QStringLiteral("interrupted");
    case CBurnInRun::End::DeviceLost:
        return QStringLiteral("deviceLost");
    case CBurnInRun::End::HostLost:
        return QStringLiteral("hostLost");
    case CBurnInRun::End::Abandoned:
        return QStringLiteral("abandoned");
    case CBurnInRun::End::SittingFull:
        return QStringLiteral("sittingFull");
    }
    return QString();
}

QJsonObject upload(bool configured, const ResultsUploadStatus &status)
{
    return {{"configured", configured}, {"forwarded", status.forwardedCards},
        {"queued", std::max<qint64>(status.pendingCards, 0)},
        {"held_back_runs", status.heldBackRuns}, {"refused_runs", status.refusedRuns},
        {"last_error", status.lastError}};
}

QJsonObject failure(int exitStatus, const QString &error)
{
    return {{"exitStatus", exitStatus}, {"error", error}};
}

QJsonObject report(const QString &runId, int exitStatus, const QString &reportPath,
    const QString &error, const BurnInReportData *data)
{
    QJsonObject object {{"exitStatus", exitStatus}, {"runId", runId}, {"error", error},
        {"report", reportPath.isEmpty() ? QJsonValue() : QJsonValue(reportPath)}};
    if (!data)
        return object;
    const Qualification::Verdict verdict = data->verdict();
    const Qualification::Standing standing = data->standing();
    object.insert("verdict", resultsVerdictKey(verdict));
    object.insert("verdictText", Qualification::verdictText(verdict));
    object.insert("finished", data->finished());
    object.insert("plannedCards", data->plan.plannedCards);
    object.insert("done", data->figures.done);
    object.insert("passed", data->figures.passed);
    object.insert("failed", data->figures.failed());
    object.insert("deviceFailures", data->figures.deviceFailures);
    object.insert("demonstratedMcbf",
        Qualification::demonstratedMcbf(standing.cycles, standing.failures, data->plan.confidence));
    object.insert("interruptions", int(data->interruptions.size()));
    object.insert("plan", plan(data->plan, standing));
    return object;
}

QJsonObject summary(const CBurnInProgress::Snapshot &run, int exitStatus, const QString &reportPath,
    qint64 elapsedNs, qint64 libraryNs)
{
    const CBurnInProgress::Outcome &outcome = run.outcome;
    QJsonObject object {{"exitStatus", exitStatus}, {"reason", outcome.reason},
        {"elapsedSeconds", double(elapsedNs) / 1e9}, {"librarySeconds", double(libraryNs) / 1e9}};
    if (outcome.notBegun != CBurnInProgress::NotBegun::No) {
        object.insert("notBegun", notBegunKey(outcome.notBegun));
        return object;
    }
    const BurnInFigures &figures = run.figures;
    const Qualification::Plan &limits = run.limits;
    const Qualification::Standing standing = Qualification::standing(figures);
    object.insert("runId", run.runId);
    object.insert("end", outcome.end ? endKey(*outcome.end) : QString());
    object.insert("recordComplete", !outcome.recordFailed);
    object.insert("verdict", resultsVerdictKey(outcome.verdict));
    object.insert("verdictText", Qualification::verdictText(outcome.verdict));
    object.insert("mode", figures.mode == BurnInMode::HandOut ? "handout" : "capture");
    object.insert("plannedCards", limits.plannedCards);
    object.insert("firstCard", run.firstCard);
    object.insert("done", figures.done);
    object.insert("passed", figures.passed);
    object.insert("failed", figures.failed());
    object.insert("deviceFailures", figures.deviceFailures);
    object.insert("duplicates", figures.duplicates);
    object.insert("passRate", figures.passRate());
    object.insert("demonstratedMcbf",
        Qualification::demonstratedMcbf(standing.cycles, standing.failures, limits.confidence));
    object.insert("confidence", limits.confidence);
    object.insert("targetMcbf", limits.targetMcbf);
    object.insert("maxP95Seconds", limits.maxP95Seconds);
    object.insert("plan", plan(limits, standing));
    object.insert("meanSeconds", figures.meanSeconds);
    object.insert("p95Seconds", figures.p95Seconds);
    object.insert("maxSeconds", figures.maxSeconds);
    object.insert("csv", run.csvPath);
    object.insert("log", run.logPath);
    object.insert("report", reportPath.isEmpty() ? QJsonValue() : QJsonValue(reportPath));
    return object;
}

} // namespace CliText
