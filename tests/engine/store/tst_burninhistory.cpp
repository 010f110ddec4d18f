// SPDX-License-Identifier: MIT
#include "engine/store/burninhistory.h"

#include <QtTest>

Q_DECLARE_METATYPE(ResultsRunState)
Q_DECLARE_METATYPE(std::optional<Qualification::Verdict>)

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
    QTest::addColumn<QString>("serial");
    QTest::addColumn<qint64>("targetMcbf");
    QTest::addColumn<std::optional<Qualification::Verdict>>("verdict");
    QTest::addColumn<QString>("expected");

    const std::optional<Qualification::Verdict> none;

    QTest::newRow("interrupted, rate rounded down")
        << 120 << 118 << qint64(3725000) << ResultsRunState::Interrupted << QString() << qint64(0)
        << none
        << "2026-12-08 10:25:32  kiosk7  回收  120/500 张  通过率 98.3%  用时 01:02:05  中断";
    QTest::newRow("one failure in 2000 is not 100%")
        << 2000 << 1999 << qint64(999) << ResultsRunState::Incomplete << QString() << qint64(0)
        << none
        << "2026-12-08 10:25:32  kiosk7  回收  2000/500 张  通过率 99.9%  用时 00:00:00  未完成";
    // Created at 10:00:00, no card yet: the creation time and no rate.
    QTest::newRow("no card yet") << 0 << 0 << qint64(-1) << ResultsRunState::Running << QString()
                                 << qint64(0) << none
                                 << "2026-12-08 10:00:00  kiosk7  回收  0/500 张  通过率 —  用时 "
                                    "00:00:00  进行中";
    QTest::newRow("the serial, and the verdict of a run with a target")
        << 300 << 294 << qint64(60000) << ResultsRunState::Complete << "SN-0001" << qint64(100)
        << std::optional(Qualification::Verdict::Fail)
        << "2026-12-08 10:25:32  kiosk7  SN-0001  回收  300/500 张  通过率 98.0%  用时 00:01:00  "
           "完成  不合格";
    // Its stretches are judged too, but 未判定 would only stand in every line without limits.
    QTest::newRow("no verdict without limits")
        << 300 << 300 << qint64(60000) << ResultsRunState::Complete << "SN-0001" << qint64(0)
        << std::optional(Qualification::Verdict::Undecided)
        << "2026-12-08 10:25:32  kiosk7  SN-0001  回收  300/500 张  通过率 100.0%  用时 00:01:00  "
           "完成";
}

void tst_CBurnInHistory::label()
{
    QFETCH(int, done);
    QFETCH(int, passed);
    QFETCH(qint64, lastMs);
    QFETCH(ResultsRunState, state);
    QFETCH(QString, serial);
    QFETCH(qint64, targetMcbf);
    QFETCH(std::optional<Qualification::Verdict>, verdict);

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
    run.plan.unit.serial = serial;
    run.plan.limits.targetMcbf = targetMcbf;
    run.verdict = verdict;
    QTEST(burnInHistoryLabel(run), "expected");
}

QTEST_GUILESS_MAIN(tst_CBurnInHistory)
#include "tst_burninhistory.moc"
