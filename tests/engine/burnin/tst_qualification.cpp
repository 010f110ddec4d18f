// SPDX-License-Identifier: MIT
#include "engine/burnin/cburninrun.h"
#include "engine/burnin/cfailuremodes.h"
#include "engine/burnin/qualification.h"

#include <QtTest>

#include <algorithm>

using Qualification::Verdict;

Q_DECLARE_METATYPE(Verdict)

namespace {

BurnInRecord failedCard(
    int index, BurnInStep step, int code, BurnInOutcome outcome = BurnInOutcome::DeviceCode)
{
    BurnInRecord record;
    record.index = index;
    record.failedStep = step;
    record.failedCode = code;
    record.outcome = outcome;
    return record;
}

BurnInRecord passedCard(int index, bool duplicate = false)
{
    BurnInRecord record;
    record.index = index;
    record.passed = true;
    record.duplicate = duplicate;
    return record;
}

} // namespace

class tst_Qualification : public QObject
{
    Q_OBJECT

private slots:
    void bound_data();
    void bound();
    void cardsToDemonstrate_data();
    void cardsToDemonstrate();
    void verdict_data();
    void verdict();
    void countsAndFailureModes();
};

void tst_Qualification::bound_data()
{
    QTest::addColumn<qint64>("cycles");
    QTest::addColumn<qint64>("failures");
    QTest::addColumn<int>("confidence");
    QTest::addColumn<qint64>("mcbf");

    QTest::newRow("300 failure-free at 90%") << qint64(300) << qint64(0) << 90 << qint64(130);
    QTest::newRow("300 with 6 failures at 90%") << qint64(300) << qint64(6) << 90 << qint64(28);
    QTest::newRow("100,000 failure-free at 95%")
        << qint64(100000) << qint64(0) << 95 << qint64(33380);
    QTest::newRow("300 failure-free at 80%") << qint64(300) << qint64(0) << 80 << qint64(186);
    QTest::newRow("300 failure-free at 95%") << qint64(300) << qint64(0) << 95 << qint64(100);
    QTest::newRow("no card") << qint64(0) << qint64(0) << 90 << qint64(0);
    QTest::newRow("every card failed") << qint64(300) << qint64(300) << 90 << qint64(0);
    QTest::newRow("confidence 100% is undefined") << qint64(300) << qint64(0) << 100 << qint64(0);
    QTest::newRow("confidence 0% is undefined") << qint64(300) << qint64(0) << 0 << qint64(0);
    QTest::newRow("negative failures") << qint64(300) << qint64(-1) << 90 << qint64(0);
}

void tst_Qualification::bound()
{
    QFETCH(qint64, cycles);
    QFETCH(qint64, failures);
    QFETCH(int, confidence);
    QTEST(Qualification::demonstratedMcbf(cycles, failures, confidence), "mcbf");
}

void tst_Qualification::cardsToDemonstrate_data()
{
    QTest::addColumn<qint64>("target");
    QTest::addColumn<int>("confidence");
    QTest::addColumn<qint64>("cards");

    QTest::newRow("100 at 90%") << qint64(100) << 90 << qint64(231);
    QTest::newRow("100 at 80%") << qint64(100) << 80 << qint64(161);
    QTest::newRow("100 at 95%") << qint64(100) << 95 << qint64(300);
    QTest::newRow("33,380 at 95%, a little short of 100,000")
        << qint64(33380) << 95 << qint64(99998);
    QTest::newRow("no target") << qint64(0) << 90 << qint64(0);
}

void tst_Qualification::cardsToDemonstrate()
{
    QFETCH(qint64, target);
    QFETCH(int, confidence);
    QFETCH(qint64, cards);
    QCOMPARE(Qualification::cardsToDemonstrate(target, confidence), cards);
    if (cards > 0) {
        // The least: one card fewer must not demonstrate the target.
        QVERIFY(Qualification::demonstratedMcbf(cards, 0, confidence) >= target);
        QVERIFY(Qualification::demonstratedMcbf(cards - 1, 0, confidence) < target);
    }
}

void tst_Qualification::verdict_data()
{
    QTest::addColumn<qint64>("target"); // at 90%
    QTest::addColumn<double>("maxP95");
    QTest::addColumn<int>("planned");
    QTest::addColumn<qint64>("cycles");
    QTest::addColumn<qint64>("failures");
    QTest::addColumn<double>("p95"); // no card passed when negative
    QTest::addColumn<bool>("streak");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<bool>("endEarly"); // with earlyFail set

    const qint64 none = 0;
    QTest::newRow("no limit") << none << 0.0 << 300 << qint64(300) << qint64(0) << 1.0 << false
                              << Verdict::Undecided << false;
    QTest::newRow("no limit, five in a row") << none << 0.0 << 300 << qint64(20) << qint64(5) << 1.0
                                             << true << Verdict::Undecided << false;
    QTest::newRow("MCBF alone, met") << qint64(100) << 0.0 << 300 << qint64(300) << qint64(0) << 9.0
                                     << false << Verdict::Pass << false;
    QTest::newRow("MCBF alone, missed") << qint64(100) << 0.0 << 300 << qint64(300) << qint64(6)
                                        << 1.0 << false << Verdict::Fail << true;
    QTest::newRow("P95 alone, met on the limit")
        << none << 2.0 << 300 << qint64(300) << qint64(6) << 2.0 << false << Verdict::Pass << false;
    QTest::newRow("P95 alone, missed") << none << 2.0 << 300 << qint64(300) << qint64(0) << 2.001
                                       << false << Verdict::Fail << false;
    QTest::newRow("P95 alone, no card passed")
        << none << 2.0 << 5 << qint64(5) << qint64(5) << -1.0 << true << Verdict::Fail << false;
    QTest::newRow("both met") << qint64(100) << 2.0 << 300 << qint64(300) << qint64(0) << 1.5
                              << false << Verdict::Pass << false;
    QTest::newRow("both set, P95 missed") << qint64(100) << 2.0 << 300 << qint64(300) << qint64(0)
                                          << 2.5 << false << Verdict::Fail << false;
    // Stopped, stopped on a failure, box empty, channel blocked, window closed, card left.
    QTest::newRow("ended early, target still in reach")
        << qint64(100) << 2.0 << 300 << qint64(120) << qint64(0) << 1.5 << false
        << Verdict::Undecided << false;
    QTest::newRow("ended early with the bound already above target")
        << qint64(100) << 0.0 << 300 << qint64(299) << qint64(0) << 1.5 << false
        << Verdict::Undecided << false;
    QTest::newRow("five in a row before the planned cards")
        << qint64(10) << 0.0 << 300 << qint64(20) << qint64(5) << 1.5 << true << Verdict::Fail
        << false;
    QTest::newRow("P95 alone, five in a row")
        << none << 2.0 << 300 << qint64(20) << qint64(5) << 1.5 << true << Verdict::Fail << false;
    // 2 x 231 / chi2(0.9; 2) = 100.3, but 2 x 231 / chi2(0.9; 4) = 59.4.
    QTest::newRow("the least cards, none failed")
        << qint64(100) << 0.0 << 231 << qint64(10) << qint64(0) << 1.5 << false
        << Verdict::Undecided << false;
    QTest::newRow("the least cards, one failed: out of reach at once")
        << qint64(100) << 0.0 << 231 << qint64(10) << qint64(1) << 1.5 << false << Verdict::Fail
        << true;
    QTest::newRow("a continued run reaching its planned cards")
        << qint64(60) << 0.0 << 300 << qint64(300) << qint64(1) << 1.5 << false << Verdict::Pass
        << false;
    QTest::newRow("a continued run past its planned cards")
        << qint64(60) << 0.0 << 300 << qint64(310) << qint64(3) << 1.5 << false << Verdict::Fail
        << true;
}

void tst_Qualification::verdict()
{
    QFETCH(qint64, target);
    QFETCH(double, maxP95);
    QFETCH(int, planned);
    QFETCH(qint64, cycles);
    QFETCH(qint64, failures);
    QFETCH(double, p95);
    QFETCH(bool, streak);
    QFETCH(Verdict, verdict);
    Qualification::Plan plan;
    plan.targetMcbf = target;
    plan.maxP95Seconds = maxP95;
    plan.plannedCards = planned;
    plan.earlyFail = true;
    Qualification::Standing standing;
    standing.cycles = cycles;
    standing.failures = failures;
    standing.passed = p95 < 0.0 ? 0 : cycles - failures;
    standing.p95Seconds = std::max(p95, 0.0);
    standing.failureStreak = streak;

    QCOMPARE(Qualification::verdictText(Qualification::judge(plan, standing)),
        Qualification::verdictText(verdict));
    QTEST(Qualification::shouldEndEarly(plan, standing), "endEarly");
    plan.earlyFail = false;
    QVERIFY(!Qualification::shouldEndEarly(plan, standing));
}

void tst_Qualification::countsAndFailureModes()
{
    const QVector<BurnInRecord> records = {
        failedCard(1, BurnInStep::ReadChip, -5),
        passedCard(2),
        failedCard(3, BurnInStep::Dispense, -2),
        failedCard(4, BurnInStep::ReadChip, -5),
        failedCard(5, BurnInStep::Removal, CBurnInRun::kNotTaken),
        failedCard(6, BurnInStep::Dispense, -2),
        failedCard(7, BurnInStep::Removal, -3), // the status query failed
        passedCard(8, true),
        // The driver's hang and crash have no code: each is a mode of its own, and a failure.
        failedCard(9, BurnInStep::ReadChip, 0, BurnInOutcome::NoReply),
        failedCard(10, BurnInStep::ReadChip, 0, BurnInOutcome::DriverCrash),
        failedCard(11, BurnInStep::ReadChip, 0, BurnInOutcome::NoReply),
    };
    Qualification::Counts counts;
    for (const BurnInRecord &record : records)
        counts.add(record);
    QCOMPARE(counts.cycles, qint64(11));
    QCOMPARE(counts.failures, qint64(8)); // not the card left at the front, nor the duplicate

    // Equal counts go by the first card they hit, not by step or code.
    const std::vector<FailureMode> modes = failureModes(records);
    QCOMPARE(int(modes.size()), 6);
    const auto check = [&](std::size_t row, BurnInStep step, int code, int count, int first,
                           int last, bool device) {
        const FailureMode &mode = modes[row];
        QCOMPARE(burnInStepName(mode.step), burnInStepName(step));
        QCOMPARE(mode.code, code);
        QCOMPARE(mode.count, count);
        QCOMPARE(mode.share, count / 9.0);
        QCOMPARE(mode.firstCard, first);
        QCOMPARE(mode.lastCard, last);
        QCOMPARE(mode.deviceFailure, device);
    };
    check(0, BurnInStep::ReadChip, -5, 2, 1, 4, true);
    check(1, BurnInStep::Dispense, -2, 2, 3, 6, true);
    check(2, BurnInStep::ReadChip, 0, 2, 9, 11, true);
    check(3, BurnInStep::Removal, CBurnInRun::kNotTaken, 1, 5, 5, false);
    check(4, BurnInStep::Removal, -3, 1, 7, 7, true);
    check(5, BurnInStep::ReadChip, 0, 1, 10, 10, true);
    const QStringList codes = {"-5", "-2", "无响应", "1", "-3", "驱动崩溃"};
    for (std::size_t row = 0; row < modes.size(); ++row)
        QCOMPARE(FailureModeText::cell(modes[row], FailureModeText::Code), codes.at(int(row)));
}

QTEST_GUILESS_MAIN(tst_Qualification)
#include "tst_qualification.moc"
