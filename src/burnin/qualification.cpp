// SPDX-License-Identifier: MIT
#include "burnin/qualification.h"

#include "burnin/cburninrun.h"

#include <QStringList>

#include <boost/math/distributions/chi_squared.hpp>

#include <cmath>
#include <exception>
#include <limits>

namespace Qualification {

namespace {

// Boost reports a domain error, an overflow or a failed series by throwing by default; here they
// come back as NaN or infinity, which the callers turn into "nothing demonstrated".
namespace policies = boost::math::policies;
using NoThrow = policies::policy<policies::domain_error<policies::errno_on_error>,
    policies::pole_error<policies::errno_on_error>,
    policies::overflow_error<policies::errno_on_error>,
    policies::evaluation_error<policies::errno_on_error>,
    policies::rounding_error<policies::errno_on_error>>;

bool validConfidence(int percent)
{
    return percent > 0 && percent < 100;
}

// chi2(C; 2r + 2), or NaN.
double chiSquaredFor(qint64 failures, int confidencePercent)
{
    return chiSquaredQuantile(confidencePercent / 100.0, 2.0 * static_cast<double>(failures) + 2.0);
}

double boundFor(double cycles, qint64 failures, int confidencePercent)
{
    if (cycles <= 0.0 || failures < 0 || !validConfidence(confidencePercent))
        return 0.0;
    const double chi2 = chiSquaredFor(failures, confidencePercent);
    return std::isfinite(chi2) && chi2 > 0.0 ? 2.0 * cycles / chi2 : 0.0;
}

} // namespace

CardOutcome classify(const BurnInRecord &record)
{
    if (record.passed)
        return CardOutcome::Passed;
    if (record.failedStep == BurnInStep::Removal && record.failedCode == CBurnInRun::kNotTaken)
        return CardOutcome::NotTaken;
    return CardOutcome::DeviceFailure;
}

void Counts::add(const BurnInRecord &record)
{
    ++cycles;
    if (classify(record) == CardOutcome::DeviceFailure)
        ++failures;
}

double chiSquaredQuantile(double probability, double degreesOfFreedom)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!(probability > 0.0 && probability < 1.0) || !(degreesOfFreedom > 0.0))
        return nan;
    try {
        const boost::math::chi_squared_distribution<double, NoThrow> distribution(degreesOfFreedom);
        return boost::math::quantile(distribution, probability);
    } catch (const std::exception &) {
        return nan;
    }
}

double mcbfLowerBound(qint64 cycles, qint64 failures, int confidencePercent)
{
    return boundFor(static_cast<double>(cycles), failures, confidencePercent);
}

qint64 demonstratedMcbf(qint64 cycles, qint64 failures, int confidencePercent)
{
    return static_cast<qint64>(std::floor(mcbfLowerBound(cycles, failures, confidencePercent)));
}

qint64 cardsToDemonstrate(qint64 targetMcbf, int confidencePercent)
{
    if (targetMcbf < 1 || !validConfidence(confidencePercent))
        return 0;
    const double chi2 = chiSquaredFor(0, confidencePercent);
    if (!std::isfinite(chi2))
        return 0;
    auto cards = static_cast<qint64>(std::ceil(static_cast<double>(targetMcbf) * chi2 / 2.0));
    // Rounding must not make this disagree with the bound the run will be judged by.
    while (demonstratedMcbf(cards, 0, confidencePercent) < targetMcbf)
        ++cards;
    while (cards > 1 && demonstratedMcbf(cards - 1, 0, confidencePercent) >= targetMcbf)
        --cards;
    return cards;
}

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

QString verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return QStringLiteral("合格");
    case Verdict::Fail:
        return QStringLiteral("不合格");
    case Verdict::Undecided:
        break;
    }
    return QStringLiteral("未判定");
}

Verdict judge(const Plan &plan, const Standing &standing)
{
    if (!plan.hasLimit() || plan.plannedCards < 1)
        return Verdict::Undecided;
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
    return boundFor(plan.plannedCards, failures, plan.confidence)
        < static_cast<double>(plan.targetMcbf);
}

bool shouldEndEarly(const Plan &plan, qint64 failures)
{
    return plan.earlyFail && targetOutOfReach(plan, failures);
}

QString limitsText(const Plan &plan)
{
    QStringList limits;
    if (plan.targetMcbf > 0)
        limits << QStringLiteral("MCBF ≥ %1 次（置信度 %2%）")
                      .arg(plan.targetMcbf)
                      .arg(plan.confidence);
    if (plan.maxP95Seconds > 0.0)
        limits << QStringLiteral("P95 ≤ %1 秒").arg(plan.maxP95Seconds, 0, 'f', 3);
    return limits.isEmpty() ? QStringLiteral("未设限值") : limits.join(QStringLiteral("  "));
}

} // namespace Qualification
