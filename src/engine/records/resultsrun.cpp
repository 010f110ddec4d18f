// SPDX-License-Identifier: MIT
#include "engine/records/resultsrun.h"

#include <algorithm>
#include <iterator>

QString resultsEventKindKey(ResultsEventKind kind)
{
    switch (kind) {
    case ResultsEventKind::Start:
        return QStringLiteral("start");
    case ResultsEventKind::End:
        return QStringLiteral("end");
    case ResultsEventKind::Continue:
        return QStringLiteral("continue");
    case ResultsEventKind::Verdict:
        return QStringLiteral("verdict");
    case ResultsEventKind::DeviceLost:
        return QStringLiteral("device_lost");
    case ResultsEventKind::DriverHang:
        return QStringLiteral("driver_hang");
    case ResultsEventKind::DriverCrash:
        return QStringLiteral("driver_crash");
    case ResultsEventKind::HostLost:
        return QStringLiteral("host_lost");
    case ResultsEventKind::HostStart:
        return QStringLiteral("host_start");
    }
    return QString();
}

QString resultsVerdictKey(Qualification::Verdict verdict)
{
    switch (verdict) {
    case Qualification::Verdict::Pass:
        return QStringLiteral("pass");
    case Qualification::Verdict::Fail:
        return QStringLiteral("fail");
    case Qualification::Verdict::Undecided:
        break;
    }
    return QStringLiteral("undecided");
}

std::optional<ResultsEventKind> resultsEventKindFromKey(const QString &key)
{
    constexpr ResultsEventKind kinds[]
        = {ResultsEventKind::Start, ResultsEventKind::End, ResultsEventKind::Continue,
            ResultsEventKind::Verdict, ResultsEventKind::DeviceLost, ResultsEventKind::DriverHang,
            ResultsEventKind::DriverCrash, ResultsEventKind::HostLost, ResultsEventKind::HostStart};
    const auto found = std::find_if(std::begin(kinds), std::end(kinds),
        [&key](ResultsEventKind kind) { return key == resultsEventKindKey(kind); });
    return found == std::end(kinds) ? std::nullopt : std::optional<ResultsEventKind>(*found);
}

std::optional<Qualification::Verdict> resultsVerdictFromKey(const QString &key)
{
    constexpr Qualification::Verdict verdicts[] = {Qualification::Verdict::Pass,
        Qualification::Verdict::Fail, Qualification::Verdict::Undecided};
    const auto *found = std::find_if(std::begin(verdicts), std::end(verdicts),
        [&key](Qualification::Verdict verdict) { return key == resultsVerdictKey(verdict); });
    return found == std::end(verdicts) ? std::nullopt
                                       : std::optional<Qualification::Verdict>(*found);
}

Qualification::Plan ResultsRunPlan::qualification() const
{
    Qualification::Plan plan = limits;
    plan.plannedCards = cardsPlanned;
    return plan;
}

QString resultsRunStateName(ResultsRunState state)
{
    switch (state) {
    case ResultsRunState::Running:
        return QStringLiteral("进行中");
    case ResultsRunState::Interrupted:
        return QStringLiteral("中断");
    case ResultsRunState::Incomplete:
        return QStringLiteral("未完成");
    case ResultsRunState::Complete:
        return QStringLiteral("完成");
    }
    return QString();
}

ResultsRunState endedRunState(const ResultsRunSummary &run)
{
    const bool decided = run.plan.limits.test.isPlan() && run.verdict
        && *run.verdict != Qualification::Verdict::Undecided;
    return run.cardsDone >= run.plan.cardsPlanned || decided ? ResultsRunState::Complete
                                                             : ResultsRunState::Incomplete;
}
