// SPDX-License-Identifier: MIT
#include "burnin/cburninrun.h"
#include "burnin/cchartseries.h"
#include "device/ctestgate.h"
#include "device/zov_sdk.h"
#include "fakedevice.h"
#include "qtcompat.h"

#include <QtTest>

#include <thread>

namespace {

using namespace FakeCall;

const QStringList kCaptureCard
    = {kOpen, kStatus, kSend, kPowerOn, kRead, kPowerOff, kMoveToCapture};
const QStringList kHandOutCard = {kOpen, kStatus, kSend, kMoveToReader, kPowerOn, kRead, kPowerOff,
    kMoveToFront, kHeadStart, kStatus};

using End = CBurnInRun::End;

// What the run reported, one line per card: index, result, failed step and code, duplicate.
class RecordingSink final : public CBurnInSink
{
public:
    void stepDone(int, BurnInStep, int, qint64) override { }
    void cardDone(const BurnInRecord &record) override
    {
        QString card = QString::number(record.index) + (record.passed ? " pass" : " fail");
        if (record.failedStep)
            card += ' ' + burnInStepName(*record.failedStep) + ' '
                + QString::number(record.failedCode);
        if (record.duplicate)
            card += " duplicate";
        cards << card;
        records << record;
    }

    QStringList cards;
    QVector<BurnInRecord> records;
};

// The fake device in a loader of its own, and the gate every call goes through.
class FakeRun
{
public:
    explicit FakeRun(const BurnInSettings &settings)
        : m_run(m_sdk, gate, settings, sink)
    {
        FakeDevice::reset();
        FakeDevice::install(m_sdk);
        gate.setWaitScale([](CTestGate::Duration requested) {
            FakeDevice::record(QString("wait(%1)").arg(requested.count()));
            return CTestGate::Duration(0);
        });
    }
    ~FakeRun()
    {
        FakeDevice::release();
        FakeDevice::uninstall(m_sdk);
    }

    CBurnInRun &run() { return m_run; }

    CTestGate gate;
    RecordingSink sink;

private:
    ZOV_SDK m_sdk;
    CBurnInRun m_run;
};

QStringList powerOnFailures(int cards)
{
    QStringList records;
    for (int card = 1; card <= cards; ++card)
        records << QString::number(card) + " fail 上电 -13";
    return records;
}

QStringList repeated(const QStringList &lines, int times)
{
    QStringList out;
    for (int i = 0; i < times; ++i)
        out << lines;
    return out;
}

} // namespace

Q_DECLARE_METATYPE(CBurnInRun::End)
Q_DECLARE_METATYPE(BurnInMode)

class tst_CBurnInRun : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void stopFinishesTheCardInHand_data();
    void stopFinishesTheCardInHand();
    void chartAfterARun();
};

void tst_CBurnInRun::run_data()
{
    QTest::addColumn<BurnInMode>("mode");
    QTest::addColumn<int>("cards");
    QTest::addColumn<bool>("stopOnFailure");
    QTest::addColumn<FakeScript>("script");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<End>("end");

    const auto capture = BurnInMode::Capture;
    const FakeScript powerOnFails = {codeAnswer("powerOn", -13)};
    const QStringList failedAtPowerOn = kCaptureCard.mid(0, 4);

    // The fake reads the same number from every card.
    QTest::newRow("capture sequence, a number seen before is a duplicate")
        << capture << 2 << false << FakeScript() << repeated(kCaptureCard, 2)
        << QStringList {"1 pass", "2 pass duplicate"} << End::Completed;
    QTest::newRow("hand-out sequence waits for the customer")
        << BurnInMode::HandOut << 1 << false << FakeScript() << kHandOutCard
        << QStringList {"1 pass"} << End::Completed;
    QTest::newRow("failed step recorded with its code, the run goes on")
        << capture << 2 << false << powerOnFails << (failedAtPowerOn + kCaptureCard)
        << QStringList {"1 fail 上电 -13", "2 pass"} << End::Completed;
    QTest::newRow("stop on failure") << capture << 2 << true << powerOnFails << failedAtPowerOn
                                     << QStringList {"1 fail 上电 -13"} << End::StoppedOnFailure;
    QTest::newRow("five failures in a row end the run")
        << capture << 9 << false << QtCompat::repeated(5, codeAnswer("powerOn", -13))
        << repeated(failedAtPowerOn, 5) << powerOnFailures(5) << End::FailureStreak;
    QTest::newRow("failed power-off fails the card, which still goes to the bin")
        << capture << 1 << false << FakeScript {codeAnswer("powerOff", -14)} << kCaptureCard
        << QStringList {"1 fail 下电 -14"} << End::Completed;
    QTest::newRow("empty box ends the run without a card")
        << capture << 3 << false
        << FakeScript {codeAnswer("deviceSendCard", 0), codeAnswer("deviceSendCard", -10)}
        << (kCaptureCard + kCaptureCard.mid(0, 3)) << QStringList {"1 pass"} << End::BoxEmpty;
    QTest::newRow("card left in the channel is captured first")
        << capture << 1 << false << FakeScript {statusAnswer("cp34")}
        << (QStringList {kOpen, kStatus, kMoveToCapture} + kCaptureCard.mid(2))
        << QStringList {"1 pass"} << End::Completed;
    QTest::newRow("card left in the channel is handed out and ends a hand-out run")
        << BurnInMode::HandOut << 3 << false << FakeScript {statusAnswer("cp34")}
        << QStringList {kOpen, kStatus, kMoveToFront} << QStringList() << End::CardLeftAtFront;
}

void tst_CBurnInRun::run()
{
    QFETCH(BurnInMode, mode);
    QFETCH(int, cards);
    QFETCH(bool, stopOnFailure);
    QFETCH(FakeScript, script);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, records);
    QFETCH(End, end);

    FakeRun fake({cards, mode, stopOnFailure});
    FakeDevice::script(script);
    QCOMPARE(fake.run().run(), end);
    QCOMPARE(FakeDevice::calls(), calls);
    QCOMPARE(fake.sink.cards, records);
}

void tst_CBurnInRun::stopFinishesTheCardInHand_data()
{
    QTest::addColumn<BurnInMode>("mode");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("capture: into the bin") << BurnInMode::Capture << kCaptureCard;
    // The wait for the customer ends at once and the card counts as handed out.
    QTest::newRow("hand-out: out at the front")
        << BurnInMode::HandOut << QStringList(kHandOutCard.mid(0, 9));
}

void tst_CBurnInRun::stopFinishesTheCardInHand()
{
    QFETCH(BurnInMode, mode);
    QFETCH(QStringList, calls);

    FakeRun fake({100, mode, false});
    FakeDevice::hold("powerOn");
    End end = End::Completed;
    std::thread runner([&] { end = fake.run().run(); });
    QVERIFY(FakeDevice::waitUntilHeld(5000));
    fake.run().requestStop();
    FakeDevice::release();
    runner.join();

    QCOMPARE(end, End::Stopped);
    QCOMPARE(FakeDevice::calls(), calls);
    QCOMPARE(fake.sink.cards, QStringList {"1 pass"});
}

// What the page's chart is drawn from, fed with the cards of a run as the page feeds it.
void tst_CBurnInRun::chartAfterARun()
{
    FakeRun fake({12, BurnInMode::Capture, false});
    FakeDevice::script({codeAnswer("powerOn", -13), codeAnswer("powerOn", 0),
        codeAnswer("powerOn", 0), codeAnswer("powerOn", -13)});
    QCOMPARE(fake.run().run(), End::Completed);

    CChartSeries series;
    QList<qint64> times;
    for (const BurnInRecord &record : std::as_const(fake.sink.records)) {
        series.add(record);
        times << record.elapsedMs;
    }
    QCOMPARE(series.cards(), 12);
    QCOMPARE(series.passed(), 10);
    QCOMPARE(series.failed(), 2);
    // Nearest rank: the 12th of 12 times, the slowest.
    std::sort(times.begin(), times.end());
    QCOMPARE(series.p95Seconds(), double(times.last()) / 1000.0);
}

QTEST_GUILESS_MAIN(tst_CBurnInRun)
#include "tst_cburninrun.moc"
