// SPDX-License-Identifier: MIT
#include "engine/store/burninhistory.h"
#include "engine/upload/cresultsserver.h"
#include "engine/upload/resultsfleet.h"
#include "pgcluster.h"

#include <QtTest>

namespace {

// Each station inserts its own runs as its role: kiosk1 ran a card at 11:55 and started a run at
// 11:58; kiosk2 has been silent since 11:00. Cards are a second apart from a second after the
// run's creation, 900 ms each; a failure is a chip read, a card not taken is left at the front.
// SN-1 was judged by the named plan XVII-D at θ1 = 9 cycles, accepted at its 38th card; the
// others by the bound, without limits.
const char kInsertRuns[] = R"(
CREATE TEMP TABLE plan AS SELECT gen_random_uuid() AS run_id, p.*,
    ('2026-12-08 ' || created || ':00+00')::timestamptz AS at
FROM (VALUES ('kiosk1', 'SN-1', 'MX-200', '10:00', 40, 40, 7, 9, true, 'XVII-D', 9, 3, 'pass'),
    ('kiosk1', 'SN-2', 'MX-200', '11:55', 10, 5, 0, 0, false, 'bound', 0, 0, NULL),
    ('kiosk2', 'SN-3', 'MX-200', '11:00', 20, 15, 3, 0, false, 'bound', 0, 0, NULL),
    ('kiosk2', 'SN-9', 'QX-1', '09:00', 20, 20, 0, 0, true, 'bound', 0, 0, NULL),
    ('kiosk1', '', 'QX-1', '11:58', 10, 0, 0, 0, false, 'bound', 0, 0, NULL))
    AS p (station, serial, model, created, planned, cards, failure, not_taken, ended, test,
        mcbf_lower, discrimination, verdict)
WHERE station = current_user;
INSERT INTO runs (run_id, station, mode, cards_planned, stop_on_failure, created_at, serial, model,
        plan, plan_mcbf_lower, plan_discrimination)
    SELECT run_id, station, 'capture', planned, false, at, serial, model, test, mcbf_lower,
        discrimination FROM plan;
INSERT INTO run_events (run_id, seq, at, kind) SELECT run_id, 1, at, 'start' FROM plan;
INSERT INTO run_events (run_id, seq, at, kind, reason)
    SELECT run_id, 2, at + (cards + 1) * interval '1 s', 'verdict', verdict FROM plan
    WHERE verdict IS NOT NULL;
INSERT INTO run_events (run_id, seq, at, kind)
    SELECT run_id, 3, at + (cards + 1) * interval '1 s', 'end' FROM plan WHERE ended;
INSERT INTO cards (run_id, card_index, started_at, card_number, passed, failed_step, code,
        elapsed_ms, device_ms, duplicate)
    SELECT run_id, i, at + i * interval '1 s', '62' || i, i NOT IN (failure, not_taken),
        CASE i WHEN failure THEN 'read_chip' WHEN not_taken THEN 'removal' END,
        CASE i WHEN failure THEN -3 WHEN not_taken THEN 1 ELSE 0 END, 900, 800, false
    FROM plan, generate_series(1, cards) AS i;
)";

const QDateTime kNow(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);

} // namespace

// The fleet view's reads against a real PostgreSQL cluster that two stations have written to.
class tst_ResultsFleet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void runs_data();
    void runs();
    void models();
    void plansComeWithTheirRuns();

private:
    PgCluster m_cluster;
    CResultsServer m_server;
};

void tst_ResultsFleet::initTestCase()
{
    QString error;
    QVERIFY2(m_cluster.setUp({"kiosk1", "kiosk2"}, &error), qPrintable(error));
    for (const char *station : {"kiosk1", "kiosk2"})
        QVERIFY2(!m_cluster.psql(kInsertRuns, &error, station).isNull(), qPrintable(error));
    // One station reads them all.
    QVERIFY2(m_server.open(*parseResultsServer(m_cluster.serverText("kiosk1"), &error)),
        qPrintable(m_server.error()));
}

void tst_ResultsFleet::runs_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QStringList>("expected"); // station serial state done/passed

    QTest::newRow("every station, newest first")
        << kNow
        << QStringList {"kiosk1  进行中 0/0", "kiosk1 SN-2 进行中 5/5", "kiosk2 SN-3 中断 15/14",
               "kiosk1 SN-1 完成 40/38", "kiosk2 SN-9 完成 20/20"};
    // SN-2's last card ended at 11:55:05.9; the run without cards started at 11:58.
    QTest::newRow("just under ten quiet minutes after the last card")
        << kNow.addSecs(5 * 60 + 5)
        << QStringList {"kiosk1  进行中 0/0", "kiosk1 SN-2 进行中 5/5", "kiosk2 SN-3 中断 15/14",
               "kiosk1 SN-1 完成 40/38", "kiosk2 SN-9 完成 20/20"};
    QTest::newRow("ten quiet minutes after the last card")
        << kNow.addSecs(5 * 60 + 6)
        << QStringList {"kiosk1  进行中 0/0", "kiosk1 SN-2 中断 5/5", "kiosk2 SN-3 中断 15/14",
               "kiosk1 SN-1 完成 40/38", "kiosk2 SN-9 完成 20/20"};
}

void tst_ResultsFleet::runs()
{
    QFETCH(QDateTime, now);
    QFETCH(QStringList, expected);

    const auto runs = ResultsFleet::runs(m_server, now);
    QVERIFY2(runs, qPrintable(m_server.error()));
    QStringList shown;
    for (const ResultsRunSummary &run : *runs) {
        shown << QStringLiteral("%1 %2 %3 %4/%5")
                     .arg(run.plan.station, run.plan.unit.serial, resultsRunStateName(run.state))
                     .arg(run.cardsDone)
                     .arg(run.passed);
    }
    QCOMPARE(shown, expected);
}

// MX-200: 40 + 5 + 15 cards, a chip failure each in SN-1 and SN-3; SN-1's card left at the front
// is no failure. QX-1: SN-9's 20 cards; its run without a serial names no unit.
void tst_ResultsFleet::models()
{
    const auto models = ResultsFleet::models(m_server);
    QVERIFY2(models, qPrintable(m_server.error()));
    QStringList lines;
    for (int confidence : {90, 80}) {
        for (const ResultsFleet::ModelFigures &model : *models)
            lines << ResultsFleet::modelLine(model, confidence);
    }
    QCOMPARE(lines,
        QStringList({"型号 MX-200  3 台  3 次运行  累计 60 次  故障 2 次  演示 MCBF 11 次（90%）",
            "型号 QX-1  1 台  2 次运行  累计 20 次  故障 0 次  演示 MCBF 8 次（90%）",
            "型号 MX-200  3 台  3 次运行  累计 60 次  故障 2 次  演示 MCBF 14 次（80%）",
            "型号 QX-1  1 台  2 次运行  累计 20 次  故障 0 次  演示 MCBF 12 次（80%）"}));
}

// Read as the station reads its own: the plan run shows the verdict its plan gave, which the
// bound, without limits, would not judge.
void tst_ResultsFleet::plansComeWithTheirRuns()
{
    const auto runs = ResultsFleet::runs(m_server, kNow);
    QVERIFY2(runs, qPrintable(m_server.error()));
    QStringList shown;
    for (const ResultsRunSummary &run : *runs) {
        shown << QStringLiteral("%1 %2 %3")
                     .arg(run.plan.unit.serial, Qualification::planText(run.plan.limits.test),
                         burnInHistoryLabel(run).section(QStringLiteral("  "), -1));
    }
    QCOMPARE(shown,
        QStringList({" 置信下限 进行中", "SN-2 置信下限 进行中", "SN-3 置信下限 中断",
            "SN-1 XVII-D（θ1 = 9 次  d = 3） 合格", "SN-9 置信下限 完成"}));
    const Qualification::TestPlan test = runs->at(3).plan.limits.test;
    QCOMPARE(test.producerRisk, 0);
    QCOMPARE(Qualification::decide(test, Qualification::planLines(test), 38, 1),
        Qualification::PlanDecision::Accept);
}

QTEST_GUILESS_MAIN(tst_ResultsFleet)
#include "tst_resultsfleet.moc"
