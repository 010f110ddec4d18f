// SPDX-License-Identifier: MIT
#include "engine/records/resultsrun.h"
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
    void pages_data();
    void pages();
    void unitHistoryAcrossStations();
    void failureModesWorstFirst();

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

    const auto page = ResultsFleet::runs(m_server, {}, 0, 10, now);
    QVERIFY2(page, qPrintable(m_server.error()));
    QStringList shown;
    for (const ResultsRunSummary &run : page->runs) {
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
    const auto page = ResultsFleet::runs(m_server, {}, 0, 10, kNow);
    QVERIFY2(page, qPrintable(m_server.error()));
    QStringList shown;
    for (const ResultsRunSummary &run : page->runs) {
        shown << QStringLiteral("%1 %2 %3")
                     .arg(run.plan.unit.serial, Qualification::planText(run.plan.limits.test),
                         burnInHistoryLabel(run).section(QStringLiteral("  "), -1));
    }
    QCOMPARE(shown,
        QStringList({" 置信下限 进行中", "SN-2 置信下限 进行中", "SN-3 置信下限 中断",
            "SN-1 XVII-D（θ1 = 9 次  d = 3） 合格", "SN-9 置信下限 完成"}));
    const Qualification::TestPlan test = page->runs.at(3).plan.limits.test;
    QCOMPARE(test.producerRisk, 0);
    QCOMPARE(Qualification::decide(test, Qualification::planLines(test), 38, 1),
        Qualification::PlanDecision::Accept);
}

void tst_ResultsFleet::pages_data()
{
    QTest::addColumn<QStringList>("filter"); // model, station, serial, verdict key
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("serials"); // of the page, newest first
    QTest::addColumn<int>("total");

    const QDate day(2026, 12, 8);
    const QStringList any {"", "", "", ""};
    QTest::newRow("every run") << any << QDate() << QDate() << 0 << 10 << ",SN-2,SN-3,SN-1,SN-9"
                               << 5;
    QTest::newRow("the second page of two")
        << any << QDate() << QDate() << 2 << 2 << "SN-3,SN-1" << 5;
    QTest::newRow("past the last page") << any << QDate() << QDate() << 6 << 2 << "" << 5;
    QTest::newRow("a model, whatever the case")
        << QStringList {"mx", "", "", ""} << QDate() << QDate() << 0 << 10 << "SN-2,SN-3,SN-1" << 3;
    QTest::newRow("a station and a model")
        << QStringList {"QX", "kiosk2", "", ""} << QDate() << QDate() << 0 << 10 << "SN-9" << 1;
    QTest::newRow("a serial") << QStringList {"", "", "sn-1", ""} << QDate() << QDate() << 0 << 10
                              << "SN-1" << 1;
    QTest::newRow("passed") << QStringList {"", "", "", "pass"} << QDate() << QDate() << 0 << 10
                            << "SN-1" << 1;
    QTest::newRow("not judged yet") << QStringList {"", "", "", "undecided"} << QDate() << QDate()
                                    << 0 << 10 << ",SN-2,SN-3,SN-9" << 4;
    QTest::newRow("on the day") << any << day << day << 0 << 10 << ",SN-2,SN-3,SN-1,SN-9" << 5;
    QTest::newRow("from the day after") << any << day.addDays(1) << QDate() << 0 << 10 << "" << 0;
    QTest::newRow("up to the day before")
        << any << QDate() << day.addDays(-1) << 0 << 10 << "" << 0;
    // Typed text is taken literally, never as a pattern or as SQL.
    QTest::newRow("a wildcard") << QStringList {"", "", "%", ""} << QDate() << QDate() << 0 << 10
                                << "" << 0;
    QTest::newRow("a quote") << QStringList {"x' OR ''='", "", "", ""} << QDate() << QDate() << 0
                             << 10 << "" << 0;
}

void tst_ResultsFleet::pages()
{
    QFETCH(QStringList, filter);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(int, offset);
    QFETCH(int, limit);
    QFETCH(QString, serials);
    QFETCH(int, total);

    ResultsFleet::FleetFilter fleet;
    fleet.model = filter.at(0);
    fleet.station = filter.at(1);
    fleet.serial = filter.at(2);
    fleet.verdict = filter.at(3).isEmpty() ? std::nullopt : resultsVerdictFromKey(filter.at(3));
    fleet.from = from;
    fleet.to = to;
    const auto page = ResultsFleet::runs(m_server, fleet, offset, limit, kNow);
    QVERIFY2(page, qPrintable(m_server.error()));
    QStringList shown;
    for (const ResultsRunSummary &run : page->runs)
        shown << run.plan.unit.serial;
    QCOMPARE(shown.join(','), serials);
    QCOMPARE(page->total, total);
}

// kiosk1 also ran SN-3, after kiosk2, and its driver hung at a card's dispense (code 0).
void tst_ResultsFleet::unitHistoryAcrossStations()
{
    QString error;
    QVERIFY2(
        !m_cluster
             .psql("INSERT INTO runs (run_id, station, mode, cards_planned, stop_on_failure,"
                   " created_at, serial, model) VALUES ('00000000-0000-4000-8000-00000000000a',"
                   " 'kiosk1', 'capture', 10, false, '2026-12-08 11:30+00', 'SN-3', 'MX-200');"
                   " INSERT INTO cards (run_id, card_index, started_at, card_number, passed,"
                   " failed_step, code, elapsed_ms, device_ms, duplicate, outcome) SELECT"
                   " '00000000-0000-4000-8000-00000000000a', i, '2026-12-08 11:30+00', '', "
                   " i <> 4, CASE i WHEN 4 THEN 'dispense' END, 0, 900, 800, false,"
                   " CASE i WHEN 4 THEN 'no_reply' ELSE 'code' END"
                   " FROM generate_series(1, 10) AS i",
                 &error, "kiosk1")
             .isNull(),
        qPrintable(error));
    const auto history = ResultsFleet::unitHistory(m_server, "SN-3");
    QVERIFY2(history, qPrintable(m_server.error()));
    QStringList shown;
    for (const ResultsFleet::UnitRun &run : history->runs)
        shown << QStringLiteral("%1 %2/%3").arg(run.station).arg(run.cards).arg(run.failures);
    QCOMPARE(shown, QStringList({"kiosk2 15/1", "kiosk1 10/1"}));
    QCOMPARE(history->cycles, 25);
    QVERIFY(ResultsFleet::unitHistory(m_server, "SN-")->runs.isEmpty());
}

// MX-200's failures that day: two chip reads (-3) and the hang; the period before has none.
void tst_ResultsFleet::failureModesWorstFirst()
{
    const QDate day(2026, 12, 8);
    const auto modes = ResultsFleet::failureModes(m_server, "MX-200", day, day);
    QVERIFY2(modes, qPrintable(m_server.error()));
    QStringList shown;
    for (const ResultsFleet::FailureMode &mode : *modes) {
        shown << QStringLiteral("%1 %2 %3 %4 %5 %6")
                     .arg(mode.step)
                     .arg(mode.code)
                     .arg(mode.outcome)
                     .arg(mode.failures)
                     .arg(mode.share, 0, 'f', 3)
                     .arg(mode.cumulativeShare, 0, 'f', 3);
    }
    QCOMPARE(shown, QStringList({"读卡 -3  2 0.667 0.667", "发卡到读卡位 0 无响应 1 0.333 1.000"}));
    QVERIFY(ResultsFleet::failureModes(m_server, "MX-200", QDate(), day.addDays(-1))->isEmpty());
}

QTEST_GUILESS_MAIN(tst_ResultsFleet)
#include "tst_resultsfleet.moc"
