// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/testplan.h"

#include <QString>
#include <QtGlobal>

// The limits a burn-in run is judged by and the verdicts it can get, as the run's record keeps
// them. The rules that judge a run are the qualification's (engine/burnin/qualification.h).
namespace Qualification {

constexpr int kDefaultConfidence = 90;

// What a run is to show. A limit of 0 is not judged.
struct Plan
{
    qint64 targetMcbf = 0; // cycles
    int confidence = kDefaultConfidence; // percent: 80, 90 or 95
    double maxP95Seconds = 0.0; // the passed cards' 95th percentile of device time
    bool earlyFail = false; // end the run as soon as the target is out of reach
    int plannedCards = 0; // over all stretches; a plan's n0
    // A plan, when the run is judged by one: then the limits above are not judged, and
    // plannedCards is the plan's n0.
    TestPlan test;

    bool hasLimit() const { return test.isPlan() || targetMcbf > 0 || maxP95Seconds > 0.0; }
};

enum class Verdict { Pass, Fail, Undecided };
// 合格 / 不合格 / 未判定
QString verdictText(Verdict verdict);
// The limits for a person, e.g. "MCBF ≥ 100 次（置信度 90%）  P95 ≤ 2.000 秒", or "未设限值";
// a plan's planText().
QString limitsText(const Plan &plan);

} // namespace Qualification
