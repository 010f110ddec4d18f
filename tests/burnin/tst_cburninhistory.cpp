// SPDX-License-Identifier: MIT
#include "burnin/cburninhistory.h"

#include <QtTest>

Q_DECLARE_METATYPE(ResultsRunState)

class tst_CBurnInHistory : public QObject
{
    Q_OBJECT

private slots:
    void label_data();
    void label();
};

void tst_CBurnInHistory::label_data()
{
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("passed");
    QTest::addColumn<qint64>("lastMs"); // the last activity after the first card; -1: no card
    QTest::addColumn<ResultsRunState>("state");
    QTest::addColumn<QString>("expected");

    QTest::newRow("interrupted, rate rounded down")
        << 120 << 118 << qint64(3725000) << ResultsRunState::Interrupted
        << "2026-12-08 10:25:32  kiosk7  回收  120/500 张  通过率 98.3%  用时 01:02:05  中断";
    QTest::newRow("one failure in 2000 is not 100%")
        << 2000 << 1999 << qint64(999) << ResultsRunState::Incomplete
        << "2026-12-08 10:25:32  kiosk7  回收  2000/500 张  通过率 99.9%  用时 00:00:00  未完成";
    // Created at 10:00:00, no card yet: the creation time and no rate.
    QTest::newRow("no card yet") << 0 << 0 << qint64(-1) << ResultsRunState::Running
                                 << "2026-12-08 10:00:00  kiosk7  回收  0/500 张  通过率 —  用时 "
                                    "00:00:00  进行中";
}

void tst_CBurnInHistory::label()
{
    QFETCH(int, done);
    QFETCH(int, passed);
    QFETCH(qint64, lastMs);
    QFETCH(ResultsRunState, state);

    ResultsRunSummary run;
    run.plan.station = QStringLiteral("kiosk7");
    run.plan.cardsPlanned = 500;
    run.plan.createdAt = QDateTime(QDate(2026, 12, 8), QTime(10, 0));
    run.cardsDone = done;
    run.passed = passed;
    if (lastMs >= 0) {
        run.firstCardStarted = QDateTime(QDate(2026, 12, 8), QTime(10, 25, 32));
        run.lastActivity = run.firstCardStarted.addMSecs(lastMs);
    }
    run.state = state;
    QTEST(burnInHistoryLabel(run), "expected");
}

QTEST_GUILESS_MAIN(tst_CBurnInHistory)
#include "tst_cburninhistory.moc"
