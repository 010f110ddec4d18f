// SPDX-License-Identifier: MIT
#pragma once

#include "burnin/burninrecord.h"
#include "burnin/cburninsummary.h"

#include <QString>
#include <QtGlobal>

// Whether a burn-in run demonstrates the reliability asked of a dispenser. A run of T cards with
// r device failures is a test truncated after T cycles; its demonstrated mean cycles between
// failures (MCBF) is the one-sided lower confidence bound 2T / chi2(C; 2r + 2). The verdict comes
// from one rule table (judge()), which the page, the report and the command line all use. Plain
// functions of plain data, on any thread.
namespace Qualification {

constexpr int kDefaultConfidence = 90;

// How a card counts towards the bound. A card left at the front for the whole minute is the
// customer's doing, not the dispenser's; a failed status query while waiting for it is the
// dispenser's. A repeated card number alone never fails a card.
enum class CardOutcome { Passed, DeviceFailure, NotTaken };
CardOutcome classify(const BurnInRecord &record);

// T and r of a run, over all of its stretches.
struct Counts
{
    qint64 cycles = 0; // T: every card recorded
    qint64 failures = 0; // r: device failures among them

    void add(const BurnInRecord &record);
};

// The C-quantile of chi-square with the given degrees of freedom; NaN where it is undefined
// (probability outside (0, 1), degrees of freedom not above 0). Never throws.
double chiSquaredQuantile(double probability, double degreesOfFreedom);
// 2T / chi2(C; 2r + 2) for confidence C in percent (0 < C < 100); 0 for T = 0 or arguments out
// of range.
double mcbfLowerBound(qint64 cycles, qint64 failures, int confidencePercent);
// The bound as shown: rounded down to whole cycles.
qint64 demonstratedMcbf(qint64 cycles, qint64 failures, int confidencePercent);
// The fewest failure-free cards whose bound reaches target: ceil(target x chi2(C; 2) / 2);
// 0 when target < 1 or the confidence is out of range.
qint64 cardsToDemonstrate(qint64 targetMcbf, int confidencePercent);

// What a run is to show. A limit of 0 is not judged.
struct Plan
{
    qint64 targetMcbf = 0; // cycles
    int confidence = kDefaultConfidence; // percent: 80, 90 or 95
    double maxP95Seconds = 0.0; // the passed cards' 95th percentile of device time
    bool earlyFail = false; // end the run as soon as the target is out of reach
    int plannedCards = 0; // over all stretches

    bool hasLimit() const { return targetMcbf > 0 || maxP95Seconds > 0.0; }
};

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

enum class Verdict { Pass, Fail, Undecided };
// 合格 / 不合格 / 未判定
QString verdictText(Verdict verdict);

// The one rule table:
// - no limit set, or no planned cards: 未判定, always;
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
// Whether the run should end now rather than run cards that cannot change its verdict: the plan
// asks to fail early and the target is out of reach.
bool shouldEndEarly(const Plan &plan, qint64 failures);
// The limits for a person, e.g. "MCBF ≥ 100 次（置信度 90%）  P95 ≤ 2.000 秒", or "未设限值".
QString limitsText(const Plan &plan);

} // namespace Qualification
