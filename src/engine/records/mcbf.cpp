// SPDX-License-Identifier: MIT
#include "engine/records/mcbf.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/special_functions/gamma.hpp>

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
    if (record.outcome == BurnInOutcome::DeviceCode && record.failedStep == BurnInStep::Removal
        && record.failedCode == kBurnInNotTaken)
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

double poissonBelow(qint64 count, double mean)
{
    if (count < 1)
        return 0.0;
    if (!(mean >= 0.0))
        return std::numeric_limits<double>::quiet_NaN();
    try {
        return boost::math::gamma_q(static_cast<double>(count), mean, NoThrow());
    } catch (const std::exception &) {
        return std::numeric_limits<double>::quiet_NaN();
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

} // namespace Qualification
