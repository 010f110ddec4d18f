// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"

#include <QtGlobal>

// A burn-in run of T cards with r device failures is a test truncated after T cycles; its
// demonstrated mean cycles between failures (MCBF) is the one-sided lower confidence bound
// 2T / chi2(C; 2r + 2). What counts as a failure and the bound itself, for every reader of
// cards: the run, the report, and the fleet's figures. Plain functions of plain data.
namespace Qualification {

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
// P(N < count) for a Poisson count of the given mean: the regularised upper gamma Q(count,
// mean); 0 for count < 1, NaN for a negative mean. Never throws.
double poissonBelow(qint64 count, double mean);
// 2T / chi2(C; 2r + 2) for confidence C in percent (0 < C < 100); 0 for T = 0 or arguments out
// of range.
double mcbfLowerBound(qint64 cycles, qint64 failures, int confidencePercent);
// The bound as shown: rounded down to whole cycles.
qint64 demonstratedMcbf(qint64 cycles, qint64 failures, int confidencePercent);
// The fewest failure-free cards whose bound reaches target: ceil(target x chi2(C; 2) / 2);
// 0 when target < 1 or the confidence is out of range.
qint64 cardsToDemonstrate(qint64 targetMcbf, int confidencePercent);

} // namespace Qualification
