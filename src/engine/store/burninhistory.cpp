// SPDX-License-Identifier: MIT
#include "engine/store/burninhistory.h"

#include <algorithm>

namespace {

const char kLabelTimeFormat[] = "yyyy-MM-dd HH:mm:ss";
// Where a run without cards has no pass rate.
const char kNone[] = "—";

QString durationText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString burnInHistoryLabel(const ResultsRunSummary &run)
{
    const int done = run.cardsDone;
    // Rounded down as the summary line does, so that 100.0% means that no card failed.
    const qint64 tenths = done == 0 ? 0 : static_cast<qint64>(run.passed) * 1000 / done;
    const QString rate = done == 0 ? QString::fromUtf8(kNone)
                                   : QStringLiteral("%1.%2%").arg(tenths / 10).arg(tenths % 10);
    const QDateTime started
        = run.firstCardStarted.isValid() ? run.firstCardStarted : run.plan.createdAt;
    const qint64 durationMs = run.firstCardStarted.isValid()
        ? std::max<qint64>(0, run.firstCardStarted.msecsTo(run.lastActivity))
        : 0;
    const QString serial
        = run.plan.unit.serial.isEmpty() ? QString() : QStringLiteral("  ") + run.plan.unit.serial;
    // A run without limits is never judged, so its 未判定 would say nothing.
    const QString verdict = run.plan.limits.hasLimit() && run.verdict
        ? QStringLiteral("  ") + Qualification::verdictText(*run.verdict)
        : QString();
    return QStringLiteral("%1  %2%3  %4  %5/%6 张  通过率 %7  用时 %8  %9%10")
        .arg(started.toLocalTime().toString(QLatin1String(kLabelTimeFormat)), run.plan.station,
            serial, burnInModeName(run.plan.mode))
        .arg(done)
        .arg(run.plan.cardsPlanned)
        .arg(rate, durationText(durationMs), resultsRunStateName(run.state), verdict);
}
