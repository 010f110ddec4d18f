// SPDX-License-Identifier: MIT
#include "engine/records/testplan.h"
#include "engine/store/cresultsstore.h"
#include "runnerprocess.h"
#include "workingfolder.h"

#include <QJsonObject>
#include <QtTest>

using namespace RunnerProcess;

// Runs judged by a plan, as runner processes against the simulator: each decided on exactly the
// card its lines give, and a plan's options checked as the page checks them.
class tst_BurnInPlans : public QObject
{
    Q_OBJECT

private slots:
    void decidesOnItsCard_data();
    void decidesOnItsCard();
    void badUsage_data();
    void badUsage();
    void continuedRunKeepsItsLines();
};

// theta1 = 20, d = 2, alpha = beta = 10 %: the accept line is crossed at 87.89 cycles with no
// failure and 115.61 with one, the reject line at 6.80 with three; r0 = 15, n0 = 411.
void tst_BurnInPlans::decidesOnItsCard_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QString>("config");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("decision");
    QTest::addColumn<QString>("startLine"); // in the start line

    const QStringList box {"VARNAK_SIM_CARDS=1000"};
    const QStringList sequential {"--plan", "sequential", "--mcbf-lower", "20", "--serial", "S"};
    QTest::newRow("sequential, accepted on the line")
        << sequential << box << "" << 0 << 88 << "accept"
        << "序贯试验（--plan）";
    QTest::newRow("sequential, a third failure by card 6 rejects")
        << sequential << (box + QStringList {"VARNAK_SIM_FAIL_EVERY_getICInfo=2"}) << "" << 1 << 6
        << "reject"
        << "N0 = 411 张  r0 = 15";
    QTest::newRow("sequential from config.ini")
        << QStringList {"--serial", "S"} << box
        << "[burnin]\ncards=50\nplan=sequential\nmcbfLower=20\ntargetMcbf=100000\n"
        << 0 << 88 << "accept"
        << "θ1 = 20 次（config.ini）";
    QTest::newRow("fixed, its whole length")
        << QStringList {"--plan", "fixed", "--mcbf-lower", "20", "--serial", "S"} << box << "" << 0
        << 411 << "accept"
        << "定时试验（--plan）";
    // XVII-D at theta1 10: 43 cards, rejected at the third failure.
    QTest::newRow("named, rejected at its count")
        << QStringList {"--plan", "XVII-D", "--mcbf-lower", "10", "--serial", "S"}
        << (box + QStringList {"VARNAK_SIM_FAIL_EVERY_getICInfo=10"}) << "" << 1 << 30 << "reject"
        << "XVII-D（--plan）  θ1 = 10 次（--mcbf-lower）  d = 3  N0 = 43 张  r0 = 3";
    // IX-D at theta1 1: 45 cards, rejected at 37 failures; five in a row do not end it.
    QTest::newRow("named, not ended by five failures in a row")
        << QStringList {"--plan", "IX-D", "--mcbf-lower", "1", "--serial", "S"}
        << (box + QStringList {"VARNAK_SIM_RC_getICInfo=-5"}) << "" << 1 << 37 << "reject"
        << "IX-D";
    QTest::newRow("stop on failure, undecided")
        << (sequential + QStringList {"--stop-on-failure"})
        << (box + QStringList {"VARNAK_SIM_FAIL_EVERY_getICInfo=5"}) << "" << 1 << 5 << "continue"
        << "出错即停";
}

void tst_BurnInPlans::decidesOnItsCard()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, settings);
    QFETCH(QString, config);
    QFETCH(int, status);
    QFETCH(int, rows);
    QFETCH(QString, decision);
    QFETCH(QString, startLine);

    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    QVERIFY(writeConfig(config));
    const Finished finished = run(arguments << "--json"
                                            << "--quiet",
        settings);
    QVERIFY2(finished.status == status, finished.err.constData());
    QCOMPARE(csvRows(), rows);
    QVERIFY2(QString::fromUtf8(finished.err).contains(startLine), finished.err.constData());
    const QJsonObject json = summary(finished);
    const QJsonObject plan = json.value("plan").toObject();
    QCOMPARE(plan.value("decision").toString(), decision);
    QCOMPARE(plan.value("cycles").toInt(), rows);
    QCOMPARE(json.value("plannedCards").toInt(), plan.value("n0").toInt());
    // Judged by the plan alone: config.ini's target is not the run's.
    QCOMPARE(json.value("targetMcbf").toInt(), 0);
    // A plan that decided has finished the run, short of its n0 cards too.
    CResultsStore store;
    QVERIFY(store.open("results"));
    const QVector<ResultsRunSummary> runs = store.runs(false);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(resultsRunStateName(runs.constFirst().state),
        resultsRunStateName(
            decision == "continue" ? ResultsRunState::Incomplete : ResultsRunState::Complete));
}

void tst_BurnInPlans::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("error");

    const QStringList plan {"--plan", "sequential", "--mcbf-lower", "100", "--serial", "S"};
    QTest::newRow("an unknown plan") << QStringList {"--plan", "XVIII-D", "--serial", "S"} << ""
                                     << "判定方式须为 bound、sequential、fixed 或 IX-D";
    QTest::newRow("a plan without theta1") << QStringList {"--plan", "fixed", "--serial", "S"} << ""
                                           << "--plan fixed needs --mcbf-lower";
    QTest::newRow("theta1 0") << QStringList {"--plan", "fixed", "--mcbf-lower", "0"} << ""
                              << "θ1 须为 1 到 1000000 之间的整数";
    QTest::newRow("a ratio not offered") << (plan + QStringList {"--discrimination", "2.5"}) << ""
                                         << "鉴别比须为 1.5、2 或 3";
    QTest::newRow("a risk of 41") << (plan + QStringList {"--producer-risk", "41"}) << ""
                                  << "风险须为 1 到 40 之间的整数";
    QTest::newRow("a plan without a serial")
        << QStringList {"--plan", "sequential", "--mcbf-lower", "100"} << ""
        << "序列号";
    QTest::newRow("cards with a plan") << (plan + QStringList {"--cards", "10"}) << ""
                                       << "--cards cannot go with --plan sequential";
    QTest::newRow("cards with config.ini's plan")
        << QStringList {"--cards", "10", "--serial", "S"} << "[burnin]\nplan=fixed\nmcbfLower=100\n"
        << "give --plan bound to run a set number of cards";
    QTest::newRow("a target with a plan") << (plan + QStringList {"--target-mcbf", "10"}) << ""
                                          << "judged by its plan alone";
    QTest::newRow("a ratio with a named plan") << QStringList {"--plan", "XII-D", "--mcbf-lower",
        "10", "--discrimination", "2", "--serial", "S"}
                                               << ""
                                               << "a named plan has its own";
    QTest::newRow("a risk with a named plan from config.ini")
        << QStringList {"--producer-risk", "10", "--serial", "S"}
        << "[burnin]\nplan=XII-D\nmcbfLower=100\n"
        << "config.ini's plan XII-D";
    QTest::newRow("theta1 with the bound")
        << QStringList {"--plan", "bound", "--mcbf-lower", "100"} << ""
        << "only goes with a plan";
    QTest::newRow("a plan with --continue")
        << QStringList {"--continue", "x", "--plan", "fixed"} << ""
        << "--plan cannot go with";
}

void tst_BurnInPlans::badUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, config);
    QFETCH(QString, error);

    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    QVERIFY(writeConfig(config));
    const Finished finished = run(arguments);
    QCOMPARE(finished.status, 2);
    QVERIFY2(QString::fromUtf8(finished.err).contains(error), finished.err.constData());
    QVERIFY(!QFile::exists("results"));
}

// The first sitting ends on an empty box after its 30th card failed; the second goes on with
// the same lines from card 51. With that one failure the unit is accepted at card 116: had the
// failure been lost it would be 88, had the cycles started again, 166.
void tst_BurnInPlans::continuedRunKeepsItsLines()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    const Finished cut
        = run({"--plan", "sequential", "--mcbf-lower", "20", "--serial", "S", "--json", "--quiet"},
            {"VARNAK_SIM_CARDS=50", "VARNAK_SIM_FAIL_EVERY_getICInfo=30"});
    QVERIFY2(cut.status == 6, cut.err.constData());
    QCOMPARE(csvRows(), 50);
    QCOMPARE(summary(cut).value("plan").toObject().value("decision").toString(), "continue");

    const QString runId = summary(cut).value("runId").toString();
    const Finished rest
        = run({"--continue", runId, "--json", "--quiet"}, {"VARNAK_SIM_CARDS=1000"});
    QVERIFY2(rest.status == 0, rest.err.constData());
    QCOMPARE(csvRows(), 116);
    const QJsonObject plan = summary(rest).value("plan").toObject();
    QCOMPARE(plan.value("plan").toString(), "sequential");
    QCOMPARE(plan.value("mcbfLower").toInt(), 20);
    QCOMPARE(plan.value("failures").toInt(), 1);
    QCOMPARE(plan.value("decision").toString(), "accept");
}

QTEST_GUILESS_MAIN(tst_BurnInPlans)
#include "tst_burninplans.moc"
