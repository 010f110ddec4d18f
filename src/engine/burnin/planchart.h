// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/testplan.h"

#include <QVector>
#include <QtGlobal>

class QFont;
class QPainter;
class QRect;

// A run's path through a test plan: the card number, over all stretches, of each device failure
// in order, and the cards done. Plain data, filled card by card on the caller's thread.
struct PlanPath
{
    // Every plan is decided by its r0-th failure, and r0 stays far below this; past it a run judged
    // by the bound only counts, so a long run of failures costs no memory.
    static constexpr int kMaxFailureCycles = 100000;

    QVector<qint64> failureCycles;
    qint64 cycles = 0;
    qint64 failureCount = 0; // all of them, also those past kMaxFailureCycles

    // The card numbered `cycle` is done; failed when it is a device failure.
    void add(qint64 cycle, bool failed);
    qint64 failures() const { return failureCount; }
    void clear() { *this = PlanPath(); }
};

// Where along the path the plan first decided, and what: Continue with cycle 0 while it has not.
struct PlanOutcome
{
    Qualification::PlanDecision decision = Qualification::PlanDecision::Continue;
    qint64 cycle = 0; // the card that decided
    qint64 failures = 0; // after it
};
PlanOutcome firstDecision(const Qualification::TestPlan &plan,
    const Qualification::PlanLines &lines, const PlanPath &path);

// Draws failures (up, 0 .. r0 + 1) against cards (right, 0 .. n0) into rect: a sequential plan's
// accept and reject lines with their regions tinted, the truncation at n0 cards and r0 failures,
// the run's path as a step line, and the decision where it came. A bound run gets one line of
// text instead. Like drawBurnInChart(), the texts take font's family at fixed pixel sizes, and no
// widget is needed; painting walks at most r0 + 2 failures, however long the run.
void drawPlanChart(QPainter &painter, const QRect &rect, const Qualification::TestPlan &plan,
    const Qualification::PlanLines &lines, const PlanPath &path, const QFont &font);
// The plot inside rect that drawPlanChart() maps failures and cards onto, for a caller or a test
// that needs to find a point on it.
QRect planChartPlot(const QRect &rect, const Qualification::PlanLines &lines, const QFont &font);
