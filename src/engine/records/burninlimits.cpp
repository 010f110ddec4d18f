// SPDX-License-Identifier: MIT
#include "engine/records/burninlimits.h"

#include <QStringList>

namespace Qualification {

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

QString limitsText(const Plan &plan)
{
    if (plan.test.isPlan())
        return planText(plan.test);
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
