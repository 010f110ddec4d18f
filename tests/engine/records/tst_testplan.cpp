// SPDX-License-Identifier: MIT
#include "engine/records/testplan.h"

#include <QtTest>

#include <cmath>

using Qualification::PlanDecision;
using Qualification::PlanKind;
using Qualification::TestPlan;

Q_DECLARE_METATYPE(Qualification::PlanDecision)
Q_DECLARE_METATYPE(Qualification::PlanKind)
Q_DECLARE_METATYPE(Qualification::TestPlan)

namespace {

TestPlan plan(PlanKind kind, qint64 theta1, double d, int alpha, int beta)
{
    TestPlan plan;
    plan.kind = kind;
    plan.mcbfLower = theta1;
    plan.discrimination = d;
    plan.producerRisk = alpha;
    plan.consumerRisk = beta;
    return plan;
}

TestPlan named(const char *name, qint64 theta1)
{
    TestPlan plan;
    plan.kind = PlanKind::Named;
    plan.name = QLatin1String(name);
    plan.mcbfLower = theta1;
    plan.discrimination = Qualification::namedPlan(plan.name)->discrimination;
    return plan;
}

} // namespace

class tst_TestPlan : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void decisions_data();
    void decisions();
    void namedPlanRisks_data();
    void namedPlanRisks();
    void invalidInputs_data();
    void invalidInputs();
};

// The expected figures were computed apart from the program, with mpmath at 30 digits: the
// chi-square quantiles by bisection of the regularised incomplete gamma, the true risks as
// explicit Poisson sums.
void tst_TestPlan::lines_data()
{
    QTest::addColumn<qint64>("theta1");
    QTest::addColumn<double>("d");
    QTest::addColumn<int>("alpha");
    QTest::addColumn<int>("beta");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");
    QTest::addColumn<double>("c");
    QTest::addColumn<qint64>("r0");
    QTest::addColumn<double>("t0");
    QTest::addColumn<qint64>("n0");
    QTest::addColumn<double>("trueAlpha"); // percent, of the fixed plan
    QTest::addColumn<double>("trueBeta");

    QTest::newRow("theta1 10000, d 2, 10/10")
        << qint64(10000) << 2.0 << 10 << 10 << -3.169925 << 7.213475e-05 << 2.754888 << qint64(15)
        << 205992.3461 << qint64(205992) << 9.999899 << 8.366172;
    QTest::newRow("theta1 500, d 3, 5/20")
        << qint64(500) << 3.0 << 5 << 20 << -1.418284 << 1.213652e-03 << 2.154649 << qint64(7)
        << 4927.9735 << qint64(4927) << 4.995759 << 13.961958;
}

void tst_TestPlan::lines()
{
    QFETCH(qint64, theta1);
    QFETCH(double, d);
    QFETCH(int, alpha);
    QFETCH(int, beta);
    QFETCH(qint64, r0);
    QFETCH(qint64, n0);

    const Qualification::PlanLines sequential
        = Qualification::planLines(plan(PlanKind::Sequential, theta1, d, alpha, beta));
    QVERIFY(sequential.valid);
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(double, c);
    QFETCH(double, t0);
    QVERIFY2(std::abs(sequential.a - a) < 1e-6, qPrintable(QString::number(sequential.a, 'g', 10)));
    QVERIFY2(
        std::abs(sequential.b - b) / b < 1e-6, qPrintable(QString::number(sequential.b, 'g', 10)));
    QVERIFY2(std::abs(sequential.c - c) < 1e-6, qPrintable(QString::number(sequential.c, 'g', 10)));
    QCOMPARE(sequential.r0, r0);
    QVERIFY2(
        std::abs(sequential.t0 - t0) < 1e-3, qPrintable(QString::number(sequential.t0, 'f', 4)));
    QCOMPARE(sequential.n0, n0);
    QVERIFY(std::isnan(sequential.trueProducerRisk));

    // The fixed plan of the same risks truncates where the sequential one does.
    const Qualification::PlanLines fixed
        = Qualification::planLines(plan(PlanKind::Fixed, theta1, d, alpha, beta));
    QVERIFY(fixed.valid);
    QCOMPARE(fixed.r0, r0);
    QCOMPARE(fixed.n0, n0);
    QFETCH(double, trueAlpha);
    QFETCH(double, trueBeta);
    QVERIFY2(std::abs(fixed.trueProducerRisk * 100.0 - trueAlpha) < 1e-4,
        qPrintable(QString::number(fixed.trueProducerRisk * 100.0, 'f', 6)));
    QVERIFY2(std::abs(fixed.trueConsumerRisk * 100.0 - trueBeta) < 1e-4,
        qPrintable(QString::number(fixed.trueConsumerRisk * 100.0, 'f', 6)));
}

void tst_TestPlan::decisions_data()
{
    QTest::addColumn<PlanKind>("kind");
    QTest::addColumn<qint64>("cycles");
    QTest::addColumn<qint64>("failures");
    QTest::addColumn<PlanDecision>("decision");

    // theta1 10000, d 2, 10/10: the accept line is crossed at 43,944.49, 57,807.44 and 71,670.38
    // cycles for 0, 1 and 2 failures, the reject line at 3,397.98, 17,260.92 and 31,123.87 for
    // 3, 4 and 5.
    const struct
    {
        qint64 cycles;
        qint64 failures;
        PlanDecision decision;
    } sequential[] = {
        {43944, 0, PlanDecision::Continue},
        {43945, 0, PlanDecision::Accept},
        {57807, 1, PlanDecision::Continue},
        {57808, 1, PlanDecision::Accept},
        {71670, 2, PlanDecision::Continue},
        {71671, 2, PlanDecision::Accept},
        {3397, 3, PlanDecision::Reject},
        {3398, 3, PlanDecision::Continue},
        {17260, 4, PlanDecision::Reject},
        {17261, 4, PlanDecision::Continue},
        {31123, 5, PlanDecision::Reject},
        {31124, 5, PlanDecision::Continue},
        // The truncation: r0 = 15 rejects anywhere, n0 = 205,992 accepts with fewer.
        {205991, 14, PlanDecision::Continue},
        {205992, 14, PlanDecision::Accept},
        {205992, 15, PlanDecision::Reject},
    };
    for (const auto &row : sequential)
        QTest::addRow("sequential T %lld r %lld", row.cycles, row.failures)
            << PlanKind::Sequential << row.cycles << row.failures << row.decision;

    // The fixed plan of the same risks decides only at its ends.
    const struct
    {
        qint64 cycles;
        qint64 failures;
        PlanDecision decision;
    } fixed[] = {
        {43945, 0, PlanDecision::Continue},
        {3397, 3, PlanDecision::Continue},
        {205991, 14, PlanDecision::Continue},
        {205992, 14, PlanDecision::Accept},
        {15, 15, PlanDecision::Reject},
    };
    for (const auto &row : fixed)
        QTest::addRow("fixed T %lld r %lld", row.cycles, row.failures)
            << PlanKind::Fixed << row.cycles << row.failures << row.decision;
    QTest::newRow("bound never decides")
        << PlanKind::Bound << qint64(205992) << qint64(100) << PlanDecision::Continue;
}

void tst_TestPlan::decisions()
{
    QFETCH(PlanKind, kind);
    QFETCH(qint64, cycles);
    QFETCH(qint64, failures);
    const TestPlan testPlan = plan(kind, 10000, 2.0, 10, 10);
    QFETCH(PlanDecision, decision);
    QCOMPARE(Qualification::decisionText(Qualification::decide(
                 testPlan, Qualification::planLines(testPlan), cycles, failures)),
        Qualification::decisionText(decision));
}

void tst_TestPlan::namedPlanRisks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("n0");
    QTest::addColumn<double>("trueAlpha"); // percent, computed apart as above, at theta1 10000
    QTest::addColumn<double>("trueBeta");

    QTest::newRow("IX-D") << "IX-D" << qint64(450000) << 11.963 << 9.944;
    QTest::newRow("X-D") << "X-D" << qint64(299000) << 10.924 << 21.351;
    QTest::newRow("XI-D") << "XI-D" << qint64(215000) << 19.739 << 19.647;
    QTest::newRow("XII-D") << "XII-D" << qint64(188000) << 9.581 << 10.621;
    QTest::newRow("XIII-D") << "XIII-D" << qint64(124000) << 9.838 << 20.919;
    QTest::newRow("XIV-D") << "XIV-D" << qint64(78000) << 19.944 << 21.025;
    QTest::newRow("XV-D") << "XV-D" << qint64(93000) << 9.433 << 9.865;
    QTest::newRow("XVI-D") << "XVI-D" << qint64(54000) << 10.871 << 21.329;
    QTest::newRow("XVII-D") << "XVII-D" << qint64(43000) << 17.461 << 19.735;
}

void tst_TestPlan::namedPlanRisks()
{
    QFETCH(QString, name);
    QFETCH(qint64, n0);
    QFETCH(double, trueAlpha);
    QFETCH(double, trueBeta);
    const std::optional<Qualification::NamedPlan> row = Qualification::namedPlan(name);
    QVERIFY(row);
    const Qualification::PlanLines lines = Qualification::planLines(named(qPrintable(name), 10000));
    QVERIFY(lines.valid);
    QCOMPARE(lines.n0, n0);
    QCOMPARE(lines.r0, qint64(row->rejectAt));
    const double alpha = lines.trueProducerRisk * 100.0;
    const double beta = lines.trueConsumerRisk * 100.0;
    QVERIFY2(std::abs(alpha - trueAlpha) < 1e-3, qPrintable(QString::number(alpha, 'f', 4)));
    QVERIFY2(std::abs(beta - trueBeta) < 1e-3, qPrintable(QString::number(beta, 'f', 4)));
    // The handbook's own figures, to 0.1 point.
    QVERIFY(std::abs(alpha - row->publishedProducerRisk) <= 0.1);
    QVERIFY(std::abs(beta - row->publishedConsumerRisk) <= 0.1);
}

void tst_TestPlan::invalidInputs_data()
{
    QTest::addColumn<TestPlan>("plan");

    QTest::newRow("bound") << plan(PlanKind::Bound, 10000, 2.0, 10, 10);
    QTest::newRow("theta1 0") << plan(PlanKind::Sequential, 0, 2.0, 10, 10);
    QTest::newRow("theta1 past 1000000") << plan(PlanKind::Fixed, 1000001, 2.0, 10, 10);
    QTest::newRow("d 2.5") << plan(PlanKind::Sequential, 10000, 2.5, 10, 10);
    QTest::newRow("alpha 0") << plan(PlanKind::Sequential, 10000, 2.0, 0, 10);
    QTest::newRow("beta 41") << plan(PlanKind::Fixed, 10000, 2.0, 10, 41);
    TestPlan unknown = named("XII-D", 10000);
    unknown.name = QStringLiteral("XII-d");
    QTest::newRow("unknown name") << unknown;
    TestPlan otherRatio = named("XII-D", 10000);
    otherRatio.discrimination = 3.0;
    QTest::newRow("named with another d") << otherRatio;
}

void tst_TestPlan::invalidInputs()
{
    QFETCH(TestPlan, plan);
    const Qualification::PlanLines lines = Qualification::planLines(plan);
    QVERIFY(!lines.valid);
    QCOMPARE(Qualification::decide(plan, lines, 1000000, 0), PlanDecision::Continue);
}

QTEST_APPLESS_MAIN(tst_TestPlan)
#include "tst_testplan.moc"
