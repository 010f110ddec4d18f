// SPDX-License-Identifier: MIT
#include "engine/burnin/cburninsummary.h"
#include "qtcompat.h"

#include <QtTest>

class tst_CBurnInSummary : public QObject
{
    Q_OBJECT

private slots:
    void text_data();
    void text();
};

void tst_CBurnInSummary::text_data()
{
    QTest::addColumn<QList<qint64>>("elapsedMs");
    QTest::addColumn<int>("failures"); // the first cards fail
    QTest::addColumn<int>("duplicates"); // the first cards are duplicates
    QTest::addColumn<qint64>("waitMs"); // each card's wait at the front; -1: capture mode
    QTest::addColumn<QString>("expected");

    QTest::newRow("no card") << QList<qint64>() << 0 << 0 << qint64(-1)
                             << "已完成 0 张  通过 0  失败 0  通过率 0.0%  每张 平均/P95/最长 "
                                "0.000/0.000/0.000 秒  重复卡号 0";
    QTest::newRow("all pass, rank rounded up")
        << QList<qint64> {1000, 3000, 2000} << 0 << 0 << qint64(-1)
        << "已完成 3 张  通过 3  失败 0  通过率 100.0%  每张 平均/P95/最长 2.000/3.000/3.000 秒  "
           "重复卡号 0";
    QTest::newRow("some fail, rate rounded down")
        << QList<qint64> {1000, 1000, 1000} << 1 << 2 << qint64(-1)
        << "已完成 3 张  通过 2  失败 1  通过率 66.6%  每张 平均/P95/最长 1.000/1.000/1.000 秒  "
           "重复卡号 2";
    QTest::newRow("one failure in 2000 is not 100%")
        << QtCompat::repeated<qint64>(2000, 500) << 1 << 0 << qint64(-1)
        << "已完成 2000 张  通过 1999  失败 1  通过率 99.9%  每张 平均/P95/最长 0.500/0.500/0.500 "
           "秒  重复卡号 0";
    // Nearest rank: the 19th smallest of 20, whatever order they came in.
    QTest::newRow("p95 of 20") << QList<qint64> {1500, 300, 2000, 100, 1900, 700, 1100, 200, 1800,
        400, 1200, 600, 1700, 900, 1300, 500, 1600, 800, 1400, 1000}
                               << 0 << 0 << qint64(-1)
                               << "已完成 20 张  通过 20  失败 0  通过率 100.0%  每张 "
                                  "平均/P95/最长 1.050/1.900/2.000 秒  重复卡号 0";
    // The first card fails after its slowest step; the customer took 4.5 s over each card.
    QTest::newRow("hand-out: failed cards and the customer's wait are not the device's time")
        << QList<qint64> {9000, 5500, 6500} << 1 << 0 << qint64(4500)
        << "已完成 3 张  通过 2  失败 1  通过率 66.6%  每张 平均/P95/最长 1.500/2.000/2.000 秒  "
           "取卡等待 平均 4.500 秒  重复卡号 0";
}

void tst_CBurnInSummary::text()
{
    QFETCH(QList<qint64>, elapsedMs);
    QFETCH(int, failures);
    QFETCH(int, duplicates);
    QFETCH(qint64, waitMs);
    QFETCH(QString, expected);
    CBurnInSummary summary(waitMs < 0 ? BurnInMode::Capture : BurnInMode::HandOut);
    for (int i = 0; i < elapsedMs.size(); ++i) {
        BurnInRecord record;
        record.elapsedMs = elapsedMs.at(i);
        record.passed = i >= failures;
        record.duplicate = i < duplicates;
        record.stepTime(BurnInStep::Removal) = waitMs;
        summary.add(record);
    }

    QCOMPARE(summary.figures().text(), expected);
}

QTEST_GUILESS_MAIN(tst_CBurnInSummary)
#include "tst_cburninsummary.moc"
