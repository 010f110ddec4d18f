// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninsummary.h"
#include "engine/records/burninlimits.h"
#include "engine/records/burninrecord.h"
#include "engine/records/mcbf.h"

#include <QString>
#include <QtGlobal>

// Whether a burn-in run demonstrates the reliability asked of a dispenser, by the bound of
// engine/records/mcbf.h against the limits of engine/records/burninlimits.h. The verdict comes
// from one rule table (judge()), which the page, the report and the command line all use. Plain
// functions of plain data, on any thread.
namespace Qualification {

// Where a run stands, over all of its stretches so far.
struct Standing
{
    qint64 cycles = 0; // T
    qint64 failures = 0; // r
    qint64 passed = 0; // cards that passed; the P95 limit is not met without any
    double p95Seconds = 0.0; // of the passed cards' device time
    // Five cards failed in a row (CBurnInRun::kFailureStreak), which ends a run.
    bool failureStreak = false;

    bool reached(const Plan &plan) const { return cycles >= plan.plannedCards; }
};

// A run's standing from its figures over all of its stretches.
Standing standing(const BurnInFigures &figures);

// The one rule table:
// - no limit set, or no planned cards: 未判定, always;
// - a run with a plan is judged by the plan alone (Qualification::decide): 合格 when it accepts,
//   不合格 when it rejects, else 未判定; the limits and the failure streak are not judged;
// - the planned cards reached (T >= plannedCards): 合格 when every limit set is met (demonstrated
//   MCBF >= target; P95 <= maxP95 with at least one passed card), else 不合格;
// - short of them: 不合格 at once on a failure streak, or when the target is out of reach (see
//   targetOutOfReach()); otherwise 未判定, whatever ended the run (a stop, an empty box, a blocked
//   channel, a closed window, a card left at the front): continuing the run can still reach a
//   verdict. So a run that stopped early is never 合格.
// A run still going is judged the same way: 不合格 is final, 未判定 is not yet.
Verdict judge(const Plan &plan, const Standing &standing);
// Even if every remaining planned card passed, 2N / chi2(C; 2r + 2) < target, N the planned cards.
// False when no target is set.
bool targetOutOfReach(const Plan &plan, qint64 failures);
// Whether the run should end now rather than run cards that cannot change its verdict: a plan
// has decided, or the limits ask to fail early and the target is out of reach.
bool shouldEndEarly(const Plan &plan, const Standing &standing);

} // namespace Qualification
