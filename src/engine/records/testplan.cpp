// SPDX-License-Identifier: MIT
#include "engine/records/testplan.h"

#include "engine/records/mcbf.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

namespace Qualification {

namespace {

// Past this many failures no plan of the allowed risks and ratios is left undecided; a search
// that gets here has inputs out of range.
constexpr qint64 kMaxRejectCount = 10000;

const double kNan = std::numeric_limits<double>::quiet_NaN();

bool validRisk(int percent)
{
    return percent >= kMinRisk && percent <= kMaxRisk;
}

bool validDiscrimination(double d)
{
    return std::any_of(std::begin(kDiscriminations), std::end(kDiscriminations),
        [d](double allowed) { return d == allowed; });
}

// The smallest r with chi2(1 - beta; 2r) / chi2(alpha; 2r) <= d, or 0.
qint64 fixedRejectCount(double d, double alpha, double beta)
{
    for (qint64 r = 1; r <= kMaxRejectCount; ++r) {
        const double upper = chiSquaredQuantile(1.0 - beta, 2.0 * static_cast<double>(r));
        const double lower = chiSquaredQuantile(alpha, 2.0 * static_cast<double>(r));
        if (std::isfinite(upper) && std::isfinite(lower) && lower > 0.0 && upper / lower <= d)
            return r;
    }
    return 0;
}

QString numberText(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

qint64 TestPlan::mcbfUpper() const
{
    return std::llround(discrimination * static_cast<double>(mcbfLower));
}

bool TestPlan::operator==(const TestPlan &other) const
{
    return kind == other.kind && name == other.name && mcbfLower == other.mcbfLower
        && discrimination == other.discrimination && producerRisk == other.producerRisk
        && consumerRisk == other.consumerRisk;
}

const QVector<NamedPlan> &namedPlans()
{
    static const QVector<NamedPlan> plans = {
        {"IX-D", 1.5, 450, 37, 12.0, 9.9},
        {"X-D", 1.5, 299, 26, 10.9, 21.4},
        {"XI-D", 1.5, 215, 18, 19.7, 19.6},
        {"XII-D", 2.0, 188, 14, 9.6, 10.6},
        {"XIII-D", 2.0, 124, 10, 9.8, 20.9},
        {"XIV-D", 2.0, 78, 6, 19.9, 21.0},
        {"XV-D", 3.0, 93, 6, 9.4, 9.9},
        {"XVI-D", 3.0, 54, 4, 10.9, 21.3},
        {"XVII-D", 3.0, 43, 3, 17.5, 19.7},
    };
    return plans;
}

std::optional<NamedPlan> namedPlan(const QString &name)
{
    for (const NamedPlan &plan : namedPlans()) {
        if (name == QLatin1String(plan.name))
            return plan;
    }
    return std::nullopt;
}

namespace {

PlanLines computedLines(const TestPlan &plan)
{
    PlanLines lines;
    lines.trueProducerRisk = kNan;
    lines.trueConsumerRisk = kNan;
    if (!plan.isPlan() || plan.mcbfLower < kMinMcbfLower || plan.mcbfLower > kMaxMcbfLower)
        return lines;
    const auto theta1 = static_cast<double>(plan.mcbfLower);
    if (plan.kind == PlanKind::Named) {
        const std::optional<NamedPlan> named = namedPlan(plan.name);
        if (!named || named->discrimination != plan.discrimination)
            return lines;
        lines.r0 = named->rejectAt;
        lines.t0 = theta1 * named->lengthTenths / 10.0;
        // In whole numbers: 29.9 x 10000 as a double is a hair under 299000.
        lines.n0 = plan.mcbfLower * named->lengthTenths / 10;
    } else {
        if (!validDiscrimination(plan.discrimination) || !validRisk(plan.producerRisk)
            || !validRisk(plan.consumerRisk))
            return lines;
        const double alpha = plan.producerRisk / 100.0;
        const double beta = plan.consumerRisk / 100.0;
        const double d = plan.discrimination;
        const double theta0 = d * theta1;
        lines.r0 = fixedRejectCount(d, alpha, beta);
        if (lines.r0 < 1)
            return lines;
        lines.t0 = theta0 * chiSquaredQuantile(alpha, 2.0 * static_cast<double>(lines.r0)) / 2.0;
        // Down, not up: one card more would take the producer's risk past alpha.
        lines.n0 = static_cast<qint64>(std::floor(lines.t0));
        if (plan.kind == PlanKind::Sequential) {
            const double lnD = std::log(d);
            lines.a = std::log(beta / (1.0 - alpha)) / lnD;
            lines.c = std::log((d + 1.0) * (1.0 - beta) / (2.0 * alpha * d)) / lnD;
            lines.b = (1.0 / theta1 - 1.0 / theta0) / lnD;
        }
    }
    if (lines.n0 < 1 || lines.n0 > std::numeric_limits<int>::max())
        return lines;
    if (plan.kind != PlanKind::Sequential) {
        const auto cards = static_cast<double>(lines.n0);
        lines.trueProducerRisk
            = 1.0 - poissonBelow(lines.r0, cards / (plan.discrimination * theta1));
        lines.trueConsumerRisk = poissonBelow(lines.r0, cards / theta1);
    }
    lines.valid = true;
    return lines;
}

} // namespace

// Judging a card asks for the lines of the same plan again and again, and finding r0 takes a
// search over chi-square quantiles: each thread keeps the last plan's.
PlanLines planLines(const TestPlan &plan)
{
    thread_local std::optional<std::pair<TestPlan, PlanLines>> last;
    if (!last || last->first != plan)
        last.emplace(plan, computedLines(plan));
    return last->second;
}

PlanDecision decide(const TestPlan &plan, const PlanLines &lines, qint64 cycles, qint64 failures)
{
    if (!plan.isPlan() || !lines.valid)
        return PlanDecision::Continue;
    const auto t = static_cast<double>(cycles);
    const auto r = static_cast<double>(failures);
    const bool sequential = plan.kind == PlanKind::Sequential;
    if (failures >= lines.r0 || (sequential && r >= lines.c + lines.b * t))
        return PlanDecision::Reject;
    if (cycles >= lines.n0 || (sequential && r <= lines.a + lines.b * t))
        return PlanDecision::Accept;
    return PlanDecision::Continue;
}

QString planKey(const TestPlan &plan)
{
    switch (plan.kind) {
    case PlanKind::Bound:
        break;
    case PlanKind::Sequential:
        return QStringLiteral("sequential");
    case PlanKind::Fixed:
        return QStringLiteral("fixed");
    case PlanKind::Named:
        return plan.name;
    }
    return QStringLiteral("bound");
}

QString planText(const TestPlan &plan)
{
    const QString theta1 = QStringLiteral("θ1 = %1 次").arg(plan.mcbfLower);
    switch (plan.kind) {
    case PlanKind::Bound:
        break;
    case PlanKind::Sequential:
    case PlanKind::Fixed:
        return QStringLiteral("%1 %2  d = %3  α = %4%  β = %5%")
            .arg(plan.kind == PlanKind::Sequential ? QStringLiteral("序贯试验")
                                                   : QStringLiteral("定时试验"),
                theta1, numberText(plan.discrimination))
            .arg(plan.producerRisk)
            .arg(plan.consumerRisk);
    case PlanKind::Named:
        return QStringLiteral("%1（%2  d = %3）")
            .arg(plan.name, theta1, numberText(plan.discrimination));
    }
    return QStringLiteral("置信下限");
}

QString decisionText(PlanDecision decision)
{
    switch (decision) {
    case PlanDecision::Accept:
        return QStringLiteral("接收");
    case PlanDecision::Reject:
        return QStringLiteral("拒收");
    case PlanDecision::Continue:
        break;
    }
    return QStringLiteral("继续");
}

} // namespace Qualification
