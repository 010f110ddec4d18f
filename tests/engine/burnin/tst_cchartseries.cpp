// SPDX-License-Identifier: MIT
#include "engine/burnin/cchartseries.h"
#include "gui/burnin/chartcards.h"

#include <QtTest>

#include <algorithm>

namespace {

constexpr int kFastCard = 3; // 0.5 s
constexpr int kSlowCard = 4321; // 9 s, and fails

BurnInRecord card(int index)
{
    BurnInRecord record;
    record.index = index;
    record.elapsedMs = index == kFastCard ? 500 : index == kSlowCard ? 9000 : 1000 + index % 100;
    record.passed = index % 97 != 0 && index != kSlowCard;
    return record;
}

void addCards(CChartSeries &series, int count)
{
    for (int index = 1; index <= count; ++index)
        series.add(card(index));
}

int countPixels(const QImage &image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == colour ? 1 : 0;
    return count;
}

} // namespace

class tst_CChartSeries : public QObject
{
    Q_OBJECT

private slots:
    void series_data();
    void series();
    void clearStartsOver();
    void chartShowsCards_data();
    void chartShowsCards();
};

void tst_CChartSeries::series_data()
{
    QTest::addColumn<int>("cards");
    QTest::addColumn<int>("pixelColumns");
    QTest::addColumn<int>("passed");
    QTest::addColumn<int>("failed");
    QTest::addColumn<double>("max");
    QTest::addColumn<int>("cardsPerBucket");

    QTest::newRow("no card") << 0 << 700 << 0 << 0 << 0.0 << 1;
    QTest::newRow("one card") << 1 << 700 << 1 << 0 << 1.001 << 1;
    QTest::newRow("fewer cards than columns") << 50 << 700 << 50 << 0 << 1.05 << 1;
    QTest::newRow("every bucket full, more columns asked than buckets")
        << 2048 << 4096 << 2027 << 21 << 1.099 << 1;
    QTest::newRow("first doubling") << 2049 << 700 << 2028 << 21 << 1.099 << 2;
    QTest::newRow("two doublings keep the slow failure") << 5000 << 665 << 4948 << 52 << 9.0 << 4;
    QTest::newRow("all in one column") << 5000 << 1 << 4948 << 52 << 9.0 << 4;
    QTest::newRow("a long run") << 100000 << 665 << 98969 << 1031 << 9.0 << 64;
}

void tst_CChartSeries::series()
{
    QFETCH(int, cards);
    QFETCH(int, pixelColumns);
    CChartSeries series;
    addCards(series, cards);

    QCOMPARE(series.cards(), cards);
    QTEST(series.passed(), "passed");
    QTEST(series.failed(), "failed");
    QTEST(series.maxSeconds(), "max");
    QTEST(series.cardsPerBucket(), "cardsPerBucket");

    const QVector<CChartSeries::Column> columns = series.columns(pixelColumns);
    QVERIFY(columns.size() <= pixelColumns);
    // Half the width at worst, right after a doubling; less would waste the chart.
    QVERIFY(columns.size() >= std::min(cards, pixelColumns / 2));
    int nextCard = 1;
    int failures = 0;
    for (const CChartSeries::Column &column : columns) {
        QCOMPARE(column.firstCard, nextCard);
        QCOMPARE(column.cards, column.lastCard - column.firstCard + 1);
        nextCard = column.lastCard + 1;
        failures += column.failures;
        if (column.firstCard <= kFastCard && kFastCard <= column.lastCard)
            QCOMPARE(column.minSeconds, 0.5);
        if (column.firstCard <= kSlowCard && kSlowCard <= column.lastCard) {
            QCOMPARE(column.maxSeconds, 9.0);
            QCOMPARE(column.failedMaxSeconds, 9.0);
        }
    }
    QCOMPARE(nextCard, cards + 1);
    QCOMPARE(failures, series.failed());
}

void tst_CChartSeries::clearStartsOver()
{
    CChartSeries series;
    addCards(series, 5000);
    series.clear();
    addCards(series, 50);

    QCOMPARE(series.cards(), 50);
    QCOMPARE(series.maxSeconds(), 1.05);
    QCOMPARE(series.columns(700).size(), 50);
}

void tst_CChartSeries::chartShowsCards_data()
{
    QTest::addColumn<int>("cards");
    QTest::addColumn<bool>("drawn");

    QTest::newRow("no card") << 0 << false;
    QTest::newRow("cards with failures") << 300 << true;
}

void tst_CChartSeries::chartShowsCards()
{
    QFETCH(int, cards);
    QFETCH(bool, drawn);
    ChartCards chart;
    chart.resize(717, 220);
    addCards(chart.series(), cards);
    chart.refresh();

    const QImage image = chart.grab().toImage();
    QCOMPARE(countPixels(image, qRgb(0x4F, 0xA3, 0xE0)) > 0, drawn);
    QCOMPARE(countPixels(image, qRgb(0xFF, 0x6B, 0x6B)) > 0, drawn);
}

QTEST_MAIN(tst_CChartSeries)
#include "tst_cchartseries.moc"
