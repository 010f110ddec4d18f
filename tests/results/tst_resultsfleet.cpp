// SPDX-License-Identifier: MIT
#include "burnin/cburninrun.h"
#include "pgcluster.h"
#include "results/cresultsserver.h"
#include "results/cresultsstore.h"
#include "results/resultsfleet.h"
#include "results/resultsoutbox.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// The moment the fleet is looked at in most rows.
const QDateTime kNow(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);

QDateTime at(const char *time)
{
    return QDateTime(kNow.date(), QTime::fromString(QLatin1String(time), "HH:mm"), Qt::UTC);
}

struct RunData
{
    const char *station;
    const char *serial;
    const char *model;
    const char *created;
    int planned;
    int cards; // a second apart, the first a second after created
    QVector<int> deviceFailures;
    QVector<int> notTaken;
    bool ended;
};

// Two stations, one of them running a card five minutes ago, the other silent for an hour.
const RunData kRuns[] = {
    {"kiosk1", "SN-1", "MX-200", "10:00", 40, 40, {7}, {9}, true},
    {"kiosk1", "SN-2", "MX-200", "11:55", 10, 5, {}, {}, false},
    {"kiosk2", "SN-3", "MX-200", "11:00", 20, 15, {3}, {}, false},
    {"kiosk2", "SN-9", "QX-1", "09:00", 20, 20, {}, {}, true},
    // No cards yet: only its start event is heard of.
    {"kiosk1", "", "QX-1", "11:58", 10, 0, {}, {}, false},
};

BurnInRecord cardOf(const RunData &run, int index)
{
    BurnInRecord record;
    record.index = index;
    record.started = at(run.created).addSecs(index);
    record.cardNumber = QStringLiteral("62%1").arg(index, 17, 10, QLatin1Char('0'));
    record.passed = !run.deviceFailures.contains(index) && !run.notTaken.contains(index);
    if (run.deviceFailures.contains(index)) {
        record.failedStep = BurnInStep::ReadChip;
        record.failedCode = -3;
    } else if (run.notTaken.contains(index)) {
        record.failedStep = BurnInStep::Removal;
        record.failedCode = CBurnInRun::kNotTaken;
    }
    record.elapsedMs = 900;
    return record;
}

// What a run shows in the tests: "station serial state done/passed".
QStringList shown(const QVector<ResultsRunSummary> &runs)
{
    QStringList lines;
    for (const ResultsRunSummary &run : runs) {
        lines << QStringLiteral("%1 %2 %3 %4/%5")
                     .arg(run.plan.station, run.plan.unit.serial, resultsRunStateName(run.state))
                     .arg(run.cardsDone)
                     .arg(run.passed);
    }
    return lines;
}

} // namespace

// The fleet view's reads against a real PostgreSQL cluster, the runs forwarded by two stations
// each as its own role, as the forwarder sends them.
class tst_ResultsFleet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void runs_data();
    void runs();
    void models_data();
    void models();

private:
    bool forward(const QString &station);

    PgCluster m_cluster;
    CResultsServer m_server;
};

bool tst_ResultsFleet::forward(const QString &station)
{
    QTemporaryDir folder;
    CResultsStore store;
    if (!store.open(folder.path()))
        return false;
    for (const RunData &data : kRuns) {
        if (QLatin1String(data.station) != station)
            continue;
        ResultsRunPlan plan;
        plan.station = station;
        plan.cardsPlanned = data.planned;
        plan.createdAt = at(data.created);
        plan.unit.serial = data.serial;
        plan.unit.model = data.model;
        const QString runId = store.createRun(plan);
        ResultsRunEvent event;
        event.at = plan.createdAt;
        if (!store.addEvent(runId, event))
            return false;
        for (int index = 1; index <= data.cards; ++index) {
            if (!store.addCard(runId, cardOf(data, index)))
                return false;
        }
        event.kind = ResultsEventKind::End;
        event.at = plan.createdAt.addSecs(data.cards + 1);
        if (data.ended && !store.addEvent(runId, event))
            return false;
    }
    QString error;
    CResultsServer server;
    if (!server.open(*parseResultsServer(m_cluster.serverText(station), &error)))
        return false;
    ResultsOutbox outbox(store);
    const std::optional<ResultsOutbox::Batch> batch = outbox.next(1000);
    return batch && server.insertBatch(batch->runs, batch->events, batch->cards);
}

void tst_ResultsFleet::initTestCase()
{
    QString error;
    QVERIFY2(m_cluster.setUp({"kiosk1", "kiosk2"}, &error), qPrintable(error));
    QVERIFY(forward("kiosk1"));
    QVERIFY(forward("kiosk2"));
    // One station reads them all.
    QVERIFY2(m_server.open(*parseResultsServer(m_cluster.serverText("kiosk1"), &error)),
        qPrintable(m_server.error()));
}

void tst_ResultsFleet::runs_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("every station, newest first")
        << "" << kNow
        << QStringList {"kiosk1  进行中 0/0", "kiosk1 SN-2 进行中 5/5", "kiosk2 SN-3 中断 15/14",
               "kiosk1 SN-1 完成 40/38", "kiosk2 SN-9 完成 20/20"};
    QTest::newRow("a serial in any case")
        << "sn-1" << kNow << QStringList {"kiosk1 SN-1 完成 40/38"};
    QTest::newRow("a model") << "qx" << kNow
                             << QStringList {"kiosk1  进行中 0/0", "kiosk2 SN-9 完成 20/20"};
    QTest::newRow("a station") << "KIOSK2" << kNow
                               << QStringList {"kiosk2 SN-3 中断 15/14", "kiosk2 SN-9 完成 20/20"};
    QTest::newRow("nothing matches") << "zz" << kNow << QStringList {};
    // SN-2's last card ended at 11:55:05.9; the run without cards started at 11:58.
    QTest::newRow("ten quiet minutes after the last card")
        << "kiosk1" << at("12:05").addSecs(6)
        << QStringList {"kiosk1  进行中 0/0", "kiosk1 SN-2 中断 5/5", "kiosk1 SN-1 完成 40/38"};
    QTest::newRow("just under ten quiet minutes")
        << "SN-2" << at("12:05").addSecs(5) << QStringList {"kiosk1 SN-2 进行中 5/5"};
}

void tst_ResultsFleet::runs()
{
    QFETCH(QString, filter);
    QFETCH(QDateTime, now);
    QFETCH(QStringList, expected);

    const auto runs = ResultsFleet::runs(m_server, filter, now);
    QVERIFY2(runs, qPrintable(m_server.error()));
    QCOMPARE(shown(*runs), expected);
}

void tst_ResultsFleet::models_data()
{
    QTest::addColumn<int>("confidence");
    QTest::addColumn<QStringList>("lines");

    // MX-200: 40 + 5 + 15 cards, a chip failure each in SN-1 and SN-3; SN-1's card left at the
    // front is no failure. QX-1: SN-9's 20 cards; its run without a serial names no unit.
    QTest::newRow("90%") << 90
                         << QStringList {"型号 MX-200  3 台  3 次运行  累计 60 次  故障 2 次  "
                                         "演示 MCBF 11 次（90%）",
                                "型号 QX-1  1 台  2 次运行  累计 20 次  故障 0 次  "
                                "演示 MCBF 8 次（90%）"};
    QTest::newRow("80%") << 80
                         << QStringList {"型号 MX-200  3 台  3 次运行  累计 60 次  故障 2 次  "
                                         "演示 MCBF 14 次（80%）",
                                "型号 QX-1  1 台  2 次运行  累计 20 次  故障 0 次  "
                                "演示 MCBF 12 次（80%）"};
}

void tst_ResultsFleet::models()
{
    QFETCH(int, confidence);
    QFETCH(QStringList, lines);

    const auto models = ResultsFleet::models(m_server);
    QVERIFY2(models, qPrintable(m_server.error()));
    QStringList shownLines;
    for (const ResultsFleet::ModelFigures &model : *models)
        shownLines << ResultsFleet::modelLine(model, confidence);
    QCOMPARE(shownLines, lines);
}

QTEST_GUILESS_MAIN(tst_ResultsFleet)
#include "tst_resultsfleet.moc"
