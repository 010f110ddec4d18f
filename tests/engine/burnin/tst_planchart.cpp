// SPDX-License-Identifier: MIT
#include "engine/burnin/planchart.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QtTest>

#include <cmath>

using Qualification::PlanDecision;
using Qualification::PlanKind;
using Qualification::TestPlan;

Q_DECLARE_METATYPE(TestPlan)
Q_DECLARE_METATYPE(PlanPath)
Q_DECLARE_METATYPE(PlanDecision)

namespace {

constexpr QRgb kPathColour = 0x4fa3e0;
constexpr QRgb kRejectColour = 0xff6b6b;
const QSize kSize(717, 260);

TestPlan plan(PlanKind kind, const QString &name = QString(), double d = 2.0)
{
    TestPlan test;
    test.kind = kind;
    test.name = name;
    test.mcbfLower = 10000;
    test.discrimination = d;
    return test;
}

PlanPath path(const QVector<qint64> &failures, qint64 cycles)
{
    PlanPath result;
    int next = 0;
    for (qint64 cycle = 1; cycle <= cycles; ++cycle) {
        const bool failed = next < failures.size() && failures[next] == cycle;
        next += failed ? 1 : 0;
        result.add(cycle, failed);
    }
    return result;
}

QImage draw(const TestPlan &test, const PlanPath &path)
{
    QImage image(kSize, QImage::Format_RGB32);
    QPainter painter(&image);
    drawPlanChart(painter, image.rect(), test, Qualification::planLines(test), path, QFont());
    return image;
}

// Whether the colour is in column x within two pixels of row y.
bool colourNear(const QImage &image, int x, int y, QRgb colour)
{
    for (int row = std::max(0, y - 2); row <= std::min(image.height() - 1, y + 2); ++row) {
        if ((image.pixel(x, row) & 0xffffff) == colour)
            return true;
    }
    return false;
}

bool colourInColumn(const QImage &image, const QRect &plot, int x, QRgb colour)
{
    for (int y = plot.top(); y <= plot.bottom(); ++y) {
        if ((image.pixel(x, y) & 0xffffff) == colour)
            return true;
    }
    return false;
}

} // namespace

class tst_PlanChart : public QObject
{
    Q_OBJECT

private slots:
    void firstDecision_data();
    void firstDecision();
    void chart_data();
    void chart();
    void hugeFailureCountStaysBounded();
    void docPicture();
};

void tst_PlanChart::firstDecision_data()
{
    QTest::addColumn<TestPlan>("test");
    QTest::addColumn<PlanPath>("run");
    QTest::addColumn<PlanDecision>("decision");
    QTest::addColumn<qint64>("card");

    const TestPlan sequential = plan(PlanKind::Sequential);
    QTest::newRow("accepted without failures")
        << sequential << path({}, 43945) << PlanDecision::Accept << 43945LL;
    QTest::newRow("a path beyond the acceptance keeps its card")
        << sequential << path({}, 60000) << PlanDecision::Accept << 43945LL;
    QTest::newRow("accepted after one failure")
        << sequential << path({5000}, 60000) << PlanDecision::Accept << 57808LL;
    QTest::newRow("accepted after two failures")
        << sequential << path({5000, 40000}, 80000) << PlanDecision::Accept << 71671LL;
    QTest::newRow("third failure early rejects")
        << sequential << path({10, 2000, 3397}, 3397) << PlanDecision::Reject << 3397LL;
    QTest::newRow("fixed plan accepts at n0")
        << plan(PlanKind::Fixed) << path({100}, 210000) << PlanDecision::Accept << 205992LL;
    QTest::newRow("named plan rejects at its r0-th failure") << plan(PlanKind::Named, "XVII-D",
        3.0) << path({7, 8, 9}, 20) << PlanDecision::Reject << 9LL;
}

void tst_PlanChart::firstDecision()
{
    QFETCH(TestPlan, test);
    QFETCH(PlanPath, run);
    const PlanOutcome outcome = ::firstDecision(test, Qualification::planLines(test), run);
    QTEST(outcome.decision, "decision");
    QTEST(outcome.cycle, "card");
}

void tst_PlanChart::chart_data()
{
    QTest::addColumn<TestPlan>("test");
    QTest::addColumn<PlanPath>("run");

    const TestPlan sequential = plan(PlanKind::Sequential);
    QTest::newRow("sequential, empty path") << sequential << PlanPath();
    QTest::newRow("sequential, mid-way") << sequential << path({3000, 9000}, 30000);
    QTest::newRow("sequential, beyond n0") << sequential << path({5000}, 250000);
    QTest::newRow("named, beyond n0") << plan(PlanKind::Named, "XII-D") << path({}, 200000);
}

void tst_PlanChart::chart()
{
    QFETCH(TestPlan, test);
    QFETCH(PlanPath, run);
    const Qualification::PlanLines lines = Qualification::planLines(test);
    QVERIFY(lines.valid);
    const QImage image = draw(test, run);
    const QRect plot = planChartPlot(image.rect(), lines, QFont());
    const auto x = [&](double cycles) {
        return plot.left() + int(std::lround(cycles / double(lines.n0) * (plot.width() - 1)));
    };
    const auto y = [&](double failures) {
        return plot.bottom()
            - int(std::lround(failures / double(lines.r0 + 1) * (plot.height() - 1)));
    };

    // The reject line where r = c + bT puts it, and only for a sequential plan.
    for (const double share : {0.25, 0.5}) {
        const double cycles = share * double(lines.n0);
        if (test.kind == PlanKind::Sequential)
            QVERIFY(colourNear(image, x(cycles), y(lines.c + lines.b * cycles), kRejectColour));
        else
            QVERIFY(!colourInColumn(image, plot, x(cycles), kRejectColour));
    }

    // The path ends at its last card, or at n0 past it, at its failure count.
    if (run.cycles == 0)
        return;
    const int end = x(double(std::min(run.cycles, lines.n0)));
    const int level = y(double(run.failures()));
    QVERIFY(colourNear(image, end - 6, level, kPathColour));
    if (run.cycles < lines.n0)
        QVERIFY(!colourNear(image, end + 6, level, kPathColour));
}

void tst_PlanChart::hugeFailureCountStaysBounded()
{
    constexpr qint64 kCards = 300000;
    PlanPath run;
    for (qint64 cycle = 1; cycle <= kCards; ++cycle)
        run.add(cycle, true);
    QCOMPARE(run.failures(), kCards);
    QCOMPARE(run.failureCycles.size(), PlanPath::kMaxFailureCycles);

    const TestPlan test = plan(PlanKind::Sequential);
    const PlanOutcome outcome = ::firstDecision(test, Qualification::planLines(test), run);
    QCOMPARE(outcome.decision, PlanDecision::Reject);
    QCOMPARE(outcome.cycle, 3LL); // the reject line starts at 2.75 failures
    const QImage image = draw(test, run);
    QVERIFY(!image.isNull());
}

// Writes the picture the documentation shows, when asked to; never otherwise.
void tst_PlanChart::docPicture()
{
    const QString file = qEnvironmentVariable("CDT_WRITE_DOC_PICTURE");
    if (file.isEmpty())
        QSKIP("CDT_WRITE_DOC_PICTURE names no file");
    QVERIFY(draw(plan(PlanKind::Sequential), path({6200, 21500}, 52000)).save(file));
}

QTEST_MAIN(tst_PlanChart)
#include "tst_planchart.moc"
