// SPDX-License-Identifier: MIT
#include "engine/burnin/burninreportsource.h"

#include "engine/records/mcbf.h"
#include "engine/store/cresultsstore.h"

#include <QDir>
#include <QFileInfo>

std::optional<BurnInReportData> loadBurnInReport(
    CResultsStore &store, const QString &runId, QString *error)
{
    const std::optional<ResultsRunPlan> plan = store.run(runId);
    const QVector<ResultsRunEvent> events = plan ? store.events(runId) : QVector<ResultsRunEvent>();
    const QVector<BurnInRecord> cards = plan ? store.cards(runId) : QVector<BurnInRecord>();
    if (!plan || !store.error().isEmpty()) {
        *error = store.error();
        return std::nullopt;
    }

    BurnInReportData data;
    data.serial = plan->unit.serial;
    data.model = plan->unit.model;
    data.operatorName = plan->unit.operatorName;
    data.station = plan->station;
    data.connection = plan->connection;
    data.mode = plan->mode;
    data.plan = plan->qualification();
    data.started = cards.isEmpty() ? plan->createdAt : cards.front().started;
    // The library and the tool of the latest stretch: a run continued after an update says so.
    for (const ResultsRunEvent &event : events) {
        if (event.kind == ResultsEventKind::Start || event.kind == ResultsEventKind::Continue) {
            data.toolVersion = event.toolVersion;
            data.libraryPath = event.libraryPath;
            data.librarySha256 = event.librarySha256;
        } else if (event.kind == ResultsEventKind::End) {
            data.ended = event.at;
            data.endText = event.reason;
        } else if (event.kind == ResultsEventKind::DeviceLost) {
            data.interruptions.push_back({event.at, event.reason});
        } else if (event.kind == ResultsEventKind::DriverHang
            || event.kind == ResultsEventKind::DriverCrash) {
            data.driverFaults.push_back({event.at, event.reason});
            ++data.driverFailures;
        } else if (event.kind == ResultsEventKind::HostLost) {
            data.driverFaults.push_back({event.at, event.reason});
        } else if (event.kind == ResultsEventKind::HostStart
            && event.librarySha256 != data.librarySha256) {
            data.driverFaults.push_back({event.at,
                QStringLiteral("驱动库已改变：%1（SHA-256 %2）")
                    .arg(event.libraryPath, event.librarySha256)});
        }
    }
    CBurnInSummary summary(plan->mode);
    CFailureModes modes;
    for (const BurnInRecord &card : cards) {
        summary.add(card);
        modes.add(card);
        data.chart.add(card);
        if (data.plan.test.isPlan())
            data.planPath.add(data.planPath.cycles + 1,
                Qualification::classify(card) == Qualification::CardOutcome::DeviceFailure);
    }
    data.figures = summary.figures();
    data.failureModes = modes.rows();
    data.chart.setP95Seconds(data.figures.p95Seconds);
    return data;
}

QString burnInReportPath(const QString &csvPath)
{
    const QFileInfo csv(csvPath);
    const QString base = csv.dir().filePath(csv.completeBaseName());
    QString path = base + QStringLiteral(".pdf");
    for (int copy = 2; QFileInfo::exists(path); ++copy)
        path = QStringLiteral("%1-%2.pdf").arg(base).arg(copy);
    return path;
}
