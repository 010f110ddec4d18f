// SPDX-License-Identifier: MIT
#include "burnin/cburninhistory.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace {

const char kNameTimeFormat[] = "yyyyMMdd-HHmmss";
const char kLabelTimeFormat[] = "yyyy-MM-dd HH:mm:ss";
// Where a run without cards has no mode or pass rate.
const char kNone[] = "—";

// What the writer's file name tells: when the run started and, within that second, which run.
struct RunName
{
    QDateTime started;
    int run = 1;
};

RunName parseRunName(const QString &fileName, const QRegularExpression &pattern)
{
    RunName name;
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        return name;
    name.started = QDateTime::fromString(match.captured(1), QLatin1String(kNameTimeFormat));
    if (!match.captured(2).isEmpty())
        name.run = match.captured(2).toInt();
    return name;
}

QString absoluteClean(const QString &path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Only aggregates are kept, and in one pass, since a run may hold 100,000 cards.
void addFigures(const BurnInCsv &csv, BurnInRunInfo *run)
{
    run->mode = csv.mode;
    run->cards = static_cast<int>(csv.records.size());
    run->cutShort = csv.cutShort;
    run->skippedRows = csv.skippedRows;
    qint64 first = std::numeric_limits<qint64>::max();
    qint64 end = std::numeric_limits<qint64>::min();
    for (const BurnInRecord &record : csv.records) {
        run->passed += record.passed ? 1 : 0;
        // A row may have no start time; it then counts as a card but not towards the duration.
        if (!record.started.isValid())
            continue;
        const qint64 start = record.started.toMSecsSinceEpoch();
        first = std::min(first, start);
        end = std::max(end, start + record.elapsedMs);
    }
    run->durationMs = end > first ? end - first : 0;
    if (!run->started.isValid() && !csv.records.isEmpty())
        run->started = csv.records.front().started;
}

QString durationText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

double BurnInRunInfo::passRate() const
{
    return cards == 0 ? 0.0 : 100.0 * passed / cards;
}

QString BurnInRunInfo::label() const
{
    // Rounded down as the summary line does, so that 100.0% means that no card failed.
    const qint64 tenths = cards == 0 ? 0 : static_cast<qint64>(passed) * 1000 / cards;
    const QString rate = cards == 0 ? QString::fromUtf8(kNone)
                                    : QStringLiteral("%1.%2%").arg(tenths / 10).arg(tenths % 10);
    QString text = QStringLiteral("%1  %2  %3 张  通过率 %4  用时 %5")
                       .arg(started.toString(QLatin1String(kLabelTimeFormat)),
                           mode ? burnInModeName(*mode) : QString::fromUtf8(kNone))
                       .arg(cards)
                       .arg(rate, durationText(durationMs));
    if (inProgress)
        text += QStringLiteral("  (进行中)");
    else if (cutShort)
        text += QStringLiteral("  (中断)");
    return text;
}

QString burnInHistoryLabel(const ResultsRunSummary &run)
{
    const int done = run.cardsDone;
    const qint64 tenths = done == 0 ? 0 : static_cast<qint64>(run.passed) * 1000 / done;
    const QString rate = done == 0 ? QString::fromUtf8(kNone)
                                   : QStringLiteral("%1.%2%").arg(tenths / 10).arg(tenths % 10);
    const QDateTime started
        = run.firstCardStarted.isValid() ? run.firstCardStarted : run.plan.createdAt;
    const qint64 durationMs = run.firstCardStarted.isValid()
        ? std::max<qint64>(0, run.firstCardStarted.msecsTo(run.lastActivity))
        : 0;
    return QStringLiteral("%1  %2  %3  %4/%5 张  通过率 %6  用时 %7  %8")
        .arg(started.toLocalTime().toString(QLatin1String(kLabelTimeFormat)), run.plan.station,
            burnInModeName(run.plan.mode))
        .arg(done)
        .arg(run.plan.cardsPlanned)
        .arg(rate, durationText(durationMs), resultsRunStateName(run.state));
}

QVector<BurnInRunInfo> scanBurnInRuns(
    const QString &folder, const QString &inProgressPath, QStringList *skipped)
{
    // Local rather than shared: the scan runs on whichever thread the page picks.
    const QRegularExpression pattern(QStringLiteral("^burnin-(\\d{8}-\\d{6})(?:-(\\d+))?\\.csv$"));
    const QString current = absoluteClean(inProgressPath);
    const QFileInfoList files
        = QDir(folder).entryInfoList({QStringLiteral("burnin-*.csv")}, QDir::Files);
    struct Found
    {
        BurnInRunInfo info;
        int number = 1; // within its second
    };
    QVector<Found> found;
    for (const QFileInfo &file : files) {
        BurnInRunInfo run;
        run.csvPath = QDir::cleanPath(file.absoluteFilePath());
        run.inProgress = run.csvPath == current;
        const RunName name = parseRunName(file.fileName(), pattern);
        run.started = name.started;
        const BurnInCsv csv = readBurnInCsv(run.csvPath);
        // The run being written may not have its column titles on disk yet.
        if (!csv.error.isEmpty() && !run.inProgress) {
            if (skipped)
                *skipped << csv.error;
            continue;
        }
        addFigures(csv, &run);
        // A half-written last row is only the next card still on its way.
        run.cutShort = run.cutShort && !run.inProgress;
        if (!run.started.isValid())
            run.started = file.lastModified();
        found << Found {run, name.run};
    }

    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        if (a.info.started != b.info.started)
            return a.info.started > b.info.started;
        if (a.number != b.number)
            return a.number > b.number;
        return a.info.csvPath > b.info.csvPath;
    });
    QVector<BurnInRunInfo> runs;
    runs.reserve(found.size());
    for (const Found &entry : found)
        runs << entry.info;
    return runs;
}

BurnInCsv openBurnInRun(const BurnInRunInfo &run)
{
    if (run.inProgress) {
        BurnInCsv csv;
        csv.error = QStringLiteral("%1：运行尚未结束，结束后才能打开")
                        .arg(QDir::toNativeSeparators(run.csvPath));
        return csv;
    }
    return readBurnInCsv(run.csvPath);
}

QString burnInRunNotice(const BurnInCsv &csv)
{
    if (!csv.error.isEmpty())
        return csv.error;
    QStringList notes;
    if (csv.cutShort)
        notes << QStringLiteral("记录不完整：运行被中断，已读出 %1 张").arg(csv.records.size());
    if (csv.skippedRows > 0)
        notes << QStringLiteral("%1 行无法读出，已跳过").arg(csv.skippedRows);
    return notes.join(QStringLiteral("；"));
}
