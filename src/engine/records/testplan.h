// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

#include <optional>

// The reliability demonstration plans a buyer and a maker agree on before a test: accept a unit
// whose MCBF is theta0 or better with at most the producer's risk alpha of rejecting it, reject
// one at theta1 or worse with at most the consumer's risk beta of accepting it. Exponential
// model: one card is one cycle, failures counted as the confidence bound counts them. Plain
// functions of plain data, on any thread.
namespace Qualification {

// How a run is judged: by the confidence bound against the run's limits (burninlimits.h), or by
// a plan.
enum class PlanKind {
    Bound,
    Sequential, // probability ratio, truncated at r0 failures and N0 cards
    Fixed, // N0 cards, rejected at the r0-th failure
    Named, // one of the handbook's fixed-duration plans (namedPlans())
};

constexpr qint64 kMinMcbfLower = 1;
constexpr qint64 kMaxMcbfLower = 1000000;
constexpr int kMinRisk = 1; // percent
constexpr int kMaxRisk = 40;
constexpr double kDiscriminations[] = {1.5, 2.0, 3.0};
constexpr double kDefaultDiscrimination = 2.0;
constexpr int kDefaultRisk = 10;

// A plan and its inputs, as the run's record keeps them. A named plan's inputs are theta1 alone:
// its discrimination comes from its row of the table and its risks are not inputs (0).
struct TestPlan
{
    PlanKind kind = PlanKind::Bound;
    QString name; // a named plan's, e.g. "XII-D"; empty otherwise
    qint64 mcbfLower = 0; // theta1, cycles
    double discrimination = kDefaultDiscrimination; // d = theta0 / theta1
    int producerRisk = kDefaultRisk; // alpha, percent
    int consumerRisk = kDefaultRisk; // beta, percent

    bool isPlan() const { return kind != PlanKind::Bound; }
    qint64 mcbfUpper() const; // theta0 = d x theta1, rounded to whole cycles
    bool operator==(const TestPlan &other) const;
    bool operator!=(const TestPlan &other) const { return !(*this == other); }
};

// One of the handbook's fixed-duration plans: a test length in tenths of theta1 and the failure
// count that rejects, with the risks the handbook publishes for it (percent).
struct NamedPlan
{
    const char *name;
    double discrimination;
    int lengthTenths; // 450 for 45.0 x theta1
    int rejectAt;
    double publishedProducerRisk;
    double publishedConsumerRisk;
};
const QVector<NamedPlan> &namedPlans();
// The row of that name, exactly as the table spells it.
std::optional<NamedPlan> namedPlan(const QString &name);

// What a plan decides by, worked out once from its inputs.
struct PlanLines
{
    // Sequential: accept when r <= a + b T, reject when r >= c + b T. 0 for the fixed plans.
    double a = 0.0;
    double b = 0.0; // per cycle
    double c = 0.0;
    qint64 r0 = 0; // rejected at r0 failures
    double t0 = 0.0; // the truncation in cycles, unrounded (a named plan: its length x theta1)
    qint64 n0 = 0; // t0 rounded down to whole cards: accepted there with fewer than r0 failures
    // Fixed and named plans: P(N >= r0 | theta0, n0) and P(N < r0 | theta1, n0), as fractions.
    // NaN for the sequential plan and the bound.
    double trueProducerRisk = 0.0;
    double trueConsumerRisk = 0.0;
    bool valid = false; // false for the bound, or inputs out of range
};
PlanLines planLines(const TestPlan &plan);

enum class PlanDecision { Continue, Accept, Reject };
// After `cycles` cards with `failures` failures (the card just finished counted): a rejection
// first (r >= r0, or on the sequential reject line), then an acceptance (n0 cards reached, or on
// the accept line); Continue for the bound or invalid lines.
PlanDecision decide(const TestPlan &plan, const PlanLines &lines, qint64 cycles, qint64 failures);
// bound, sequential, fixed, or the named plan's name: config.ini's and the command line's word.
QString planKey(const TestPlan &plan);
// The plan for a person, e.g. "序贯试验 θ1 = 10000 次  d = 2  α = 10%  β = 10%",
// "定时试验 …", "XII-D（θ1 = 10000 次  d = 2）"; "置信下限" for the bound.
QString planText(const TestPlan &plan);
// 接收 / 拒收 / 继续
QString decisionText(PlanDecision decision);

} // namespace Qualification
