// SPDX-License-Identifier: MIT
#include "engine/burnin/qualification.h"

#include "engine/burnin/cburninrun.h"

namespace Qualification {

Standing standing(const BurnInFigures &figures)
{
    Standing standing;
    standing.cycles = figures.done;
    standing.failures = figures.deviceFailures;
    standing.passed = figures.passed;
    standing.p95Seconds = figures.p95Seconds;
    standing.failureStreak = figures.failedInARow >= CBurnInRun::kFailureStreak;
    return standing;
}

Verdict judge(const Plan &plan, const Standing &standing)
{
    if (!plan.hasLimit() || plan.plannedCards < 1)
        return Verdict::Undecided;
    if (plan.test.isPlan()) {
        switch (decide(plan.test, planLines(plan.test), standing.cycles, standing.failures)) {
        case PlanDecision::Accept:
            return Verdict::Pass;
        case PlanDecision::Reject:
            return Verdict::Fail;
        case PlanDecision::Continue:
            break;
        }
        return Verdict::Undecided;
    }
    if (standing.reached(plan)) {
        const bool mcbfMet = plan.targetMcbf <= 0
            || demonstratedMcbf(standing.cycles, standing.failures, plan.confidence)
                >= plan.targetMcbf;
        const bool p95Met = plan.maxP95Seconds <= 0.0
            || (standing.passed > 0 && standing.p95Seconds <= plan.maxP95Seconds);
        return mcbfMet && p95Met ? Verdict::Pass : Verdict::Fail;
    }
    if (standing.failureStreak || targetOutOfReach(plan, standing.failures))
        return Verdict::Fail;
    return Verdict::Undecided;
}

bool targetOutOfReach(const Plan &plan, qint64 failures)
{
    if (plan.targetMcbf <= 0)
        return false;
    // Compared unrounded: floor(x) >= target and x >= target agree for a whole target.
    return mcbfLowerBound(plan.plannedCards, failures, plan.confidence)
        < static_cast<double>(plan.targetMcbf);
}

bool shouldEndEarly(const Plan &plan, const Standing &standing)
{
    if (plan.test.isPlan())
        return judge(plan, standing) != Verdict::Undecided;
    return plan.earlyFail && targetOutOfReach(plan, standing.failures);
}

} // namespace Qualification
