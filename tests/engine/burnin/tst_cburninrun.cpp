// SPDX-License-Identifier: MIT
#include "engine/burnin/cburninjob.h"
#include "engine/burnin/cburninrun.h"
#include "engine/burnin/cchartseries.h"
#include "engine/device/ctestgate.h"
#include "engine/device/zov_sdk.h"
#include "fakedevice.h"
#include "filesizelimit.h"
#include "qtcompat.h"

#include <QtTest>

#include <thread>

namespace {

using namespace FakeCall;

const QStringList kCaptureCard
    = {kOpen, kStatus, kSend, kPowerOn, kRead, kPowerOff, kMoveToCapture};
const QStringList kHandOutCard = {kOpen, kStatus, kSend, kMoveToReader, kPowerOn, kRead, kPowerOff,
    kMoveToFront, kHeadStart, kStatus};
// A failed card's clean-up: the channel queried, the card found there captured.
const QStringList kCleared = {kStatus, kMoveToCapture};

using End = CBurnInRun::End;

// What the run reported, one line per card: index, result, failed step and code, duplicate.
class RecordingSink final : public CBurnInSink
{
public:
    void stepDone(int, BurnInStep, int, qint64, BurnInOutcome) override { }
    void driverFault(ResultsEventKind kind, const QString &why) override
    {
        faults << resultsEventKindKey(kind) + ' ' + why;
    }
    bool cardDone(const BurnInRecord &record) override
    {
        QString card = QString::number(record.index) + (record.passed ? " pass" : " fail");
        if (record.failedStep)
            card += ' ' + burnInStepName(*record.failedStep) + ' ' + record.failureText();
        if (record.duplicate)
            card += " duplicate";
        cards << card;
        records << record;
        return true;
    }

    QStringList cards;
    QVector<BurnInRecord> records;
    QStringList faults;
};

// The library's link as the driver host answers it when the planted call hangs, crashes or its
// process is ended: that call never reaches the library.
class FaultyLink final : public CDeviceLink
{
public:
    explicit FaultyLink(CDeviceLink &library)
        : m_library(library)
    { }
    void plant(const QString &function, int call, Answer answer)
    {
        m_function = function;
        m_call = call;
        m_answer = answer;
    }
    Result call(const DriverProtocol::Request &request) override
    {
        if (QLatin1String(DriverProtocol::functionName(request.function)) != m_function
            || ++m_calls != m_call)
            return m_library.call(request);
        Result result;
        result.answer = m_answer;
        result.why = m_function + QStringLiteral("：planted");
        return result;
    }

private:
    CDeviceLink &m_library;
    QString m_function;
    int m_call = 0;
    int m_calls = 0;
    Answer m_answer = Answer::Returned;
};

// The fake device, which knows where its card is, in a loader of its own, and the gate every
// call goes through.
class FakeRun
{
public:
    explicit FakeRun(const BurnInSettings &settings)
        : m_link(m_sdk)
        , m_faulty(m_link)
        , m_run(m_faulty, gate, settings, sink, stop)
    {
        FakeDevice::reset();
        FakeDevice::trackCard();
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
    CDeviceLink &link() { return m_link; }
    FaultyLink &faulty() { return m_faulty; }

    CTestGate gate;
    RecordingSink sink;
    std::atomic<bool> stop {false};

private:
    ZOV_SDK m_sdk;
    CLibraryLink m_link;
    FaultyLink m_faulty;
    CBurnInRun m_run;
};

CBurnInJob::Plan jobPlan(const QString &folder, int cards)
{
    CBurnInJob::Plan plan;
    plan.settings = {cards, BurnInMode::Capture, false};
    plan.resultsFolder = folder;
    plan.station = QStringLiteral("bench7");
    return plan;
}

QStringList polledForAMinute()
{
    QStringList calls = {kHeadStart};
    for (int poll = 0; poll < 120; ++poll)
        calls << kStatus << kPollPause;
    return calls;
}

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
Q_DECLARE_METATYPE(CDeviceLink::Answer)
Q_DECLARE_METATYPE(BurnInMode)
Q_DECLARE_METATYPE(Qualification::Verdict)

class tst_CBurnInRun : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void sittings_data();
    void sittings();
    void driverFaults_data();
    void driverFaults();
    void stopFinishesTheCardInHand_data();
    void stopFinishesTheCardInHand();
    void chartAfterARun();
    void jobTellsThePaneWhatNeedsALook();
    void jobEndsWhenItsRecordCannotBeWritten();
    void jobJudgesTheUnit_data();
    void jobJudgesTheUnit();
};

void tst_CBurnInRun::run_data()
{
    QTest::addColumn<BurnInMode>("mode");
    QTest::addColumn<int>("cards");
    QTest::addColumn<bool>("stopOnFailure");
    QTest::addColumn<bool>("customerAway");
    QTest::addColumn<FakeScript>("script");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<End>("end");

    const auto capture = BurnInMode::Capture;
    const auto handOut = BurnInMode::HandOut;
    const FakeScript powerOnFails = {codeAnswer("powerOn", -13)};
    const QStringList failedAtPowerOn = kCaptureCard.mid(0, 4) + kCleared;
    const QStringList handedOut = kHandOutCard.mid(0, 8);
    const FakeAnswer statusFails = codeAnswer("getStatus", -3);

    // The fake reads the same number from every card.
    QTest::newRow("capture sequence, a number seen before is a duplicate")
        << capture << 2 << false << false << FakeScript() << repeated(kCaptureCard, 2)
        << QStringList {"1 pass", "2 pass duplicate"} << End::Completed;
    QTest::newRow("hand-out sequence waits for the customer")
        << handOut << 1 << false << false << FakeScript() << kHandOutCard << QStringList {"1 pass"}
        << End::Completed;
    QTest::newRow("failed chip step: the card goes to the bin, the run goes on")
        << capture << 2 << false << false << powerOnFails << (failedAtPowerOn + kCaptureCard)
        << QStringList {"1 fail 上电 -13", "2 pass"} << End::Completed;
    QTest::newRow("hand-out: a failed card is captured, not handed out, and the run goes on")
        << handOut << 2 << false << false << powerOnFails
        << (kHandOutCard.mid(0, 5) + kCleared + kHandOutCard)
        << QStringList {"1 fail 上电 -13", "2 pass"} << End::Completed;
    QTest::newRow("failed read: the chip is powered off before the capture")
        << capture << 1 << false << false << FakeScript {codeAnswer("getICInfo", -16)}
        << (kCaptureCard.mid(0, 5) + QStringList {kPowerOff} + kCleared)
        << QStringList {"1 fail 读卡 -16"} << End::Completed;
    QTest::newRow("a chip reply without a card number fails the read")
        << capture << 1 << false << false << FakeScript {chipAnswer(R"({"Ret":0,"Data":{}})")}
        << (kCaptureCard.mid(0, 5) + QStringList {kPowerOff} + kCleared)
        << QStringList {"1 fail 读卡 1"} << End::Completed;
    QTest::newRow("failed power-off: tried again, and the card still goes to the bin")
        << capture << 1 << false << false << FakeScript {codeAnswer("powerOff", -14)}
        << (kCaptureCard.mid(0, 6) + QStringList {kPowerOff} + kCleared)
        << QStringList {"1 fail 下电 -14"} << End::Completed;
    QTest::newRow("failed query while the customer takes the card fails the card")
        << handOut << 1 << false << true
        << FakeScript {FakeAnswer {"getStatus", 0, {}}, statusFails}
        << (handedOut + QStringList {kHeadStart, kStatus} + kCleared)
        << QStringList {"1 fail 等待取卡 -3"} << End::Completed;
    QTest::newRow("a card not taken within the minute is captured")
        << handOut << 1 << false << true << FakeScript()
        << (handedOut + polledForAMinute() + kCleared) << QStringList {"1 fail 等待取卡 1"}
        << End::Completed;
    QTest::newRow("a channel that cannot be cleared ends the run")
        << capture << 3 << false << false
        << FakeScript {codeAnswer("powerOn", -13), FakeAnswer {"getStatus", 0, {}}, statusFails}
        << (kCaptureCard.mid(0, 4) + QStringList {kStatus}) << QStringList {"1 fail 上电 -13"}
        << End::ChannelBlocked;
    QTest::newRow("stop on failure")
        << capture << 2 << true << false << powerOnFails << failedAtPowerOn
        << QStringList {"1 fail 上电 -13"} << End::StoppedOnFailure;
    QTest::newRow("five failures in a row end the run")
        << capture << 9 << false << false << QtCompat::repeated(5, codeAnswer("powerOn", -13))
        << repeated(failedAtPowerOn, 5) << powerOnFailures(5) << End::FailureStreak;
    QTest::newRow("empty box ends the run without a card")
        << capture << 3 << false << false
        << FakeScript {codeAnswer("deviceSendCard", 0), codeAnswer("deviceSendCard", -10)}
        << (kCaptureCard + kCaptureCard.mid(0, 3)) << QStringList {"1 pass"} << End::BoxEmpty;
    QTest::newRow("card left in the channel is captured first")
        << capture << 1 << false << false << FakeScript {statusAnswer("cp34")}
        << (QStringList {kOpen, kStatus, kMoveToCapture} + kCaptureCard.mid(2))
        << QStringList {"1 pass"} << End::Completed;
    QTest::newRow("card left in the channel is handed out and ends a hand-out run")
        << handOut << 3 << false << false << FakeScript {statusAnswer("cp34")}
        << QStringList {kOpen, kStatus, kMoveToFront} << QStringList() << End::CardLeftAtFront;
}

void tst_CBurnInRun::run()
{
    QFETCH(BurnInMode, mode);
    QFETCH(int, cards);
    QFETCH(bool, stopOnFailure);
    QFETCH(bool, customerAway);
    QFETCH(FakeScript, script);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, records);
    QFETCH(End, end);

    FakeRun fake({cards, mode, stopOnFailure});
    if (customerAway)
        FakeDevice::customerAway();
    FakeDevice::script(script);
    QCOMPARE(fake.run().run(), end);
    QCOMPARE(FakeDevice::calls(), calls);
    QCOMPARE(fake.sink.cards, records);
}

// A run judged by a plan is not ended by a failure streak, and one sitting of a long run ends at
// its own number of cards, the next going on from there.
void tst_CBurnInRun::sittings_data()
{
    QTest::addColumn<int>("firstCard");
    QTest::addColumn<int>("cards");
    QTest::addColumn<int>("sittingCards");
    QTest::addColumn<bool>("streakEnds");
    QTest::addColumn<int>("powerOnFailures");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<End>("end");

    QTest::newRow("five failures in a row go on under a plan")
        << 1 << 6 << 100 << false << 5 << (powerOnFailures(5) << "6 pass") << End::Completed;
    QTest::newRow("a sitting ends at its cards")
        << 1 << 5 << 2 << true << 0 << QStringList {"1 pass", "2 pass duplicate"}
        << End::SittingFull;
    QTest::newRow("the last sitting runs to the planned cards")
        << 4 << 5 << 2 << true << 0 << QStringList {"4 pass", "5 pass duplicate"} << End::Completed;
}

void tst_CBurnInRun::sittings()
{
    QFETCH(int, firstCard);
    QFETCH(int, cards);
    QFETCH(int, sittingCards);
    QFETCH(bool, streakEnds);
    QFETCH(int, powerOnFailures);
    QFETCH(QStringList, records);
    QFETCH(End, end);

    BurnInSettings settings;
    settings.cards = cards;
    settings.firstCard = firstCard;
    settings.sittingCards = sittingCards;
    settings.endOnFailureStreak = streakEnds;
    FakeRun fake(settings);
    FakeDevice::script(QtCompat::repeated(powerOnFailures, codeAnswer("powerOn", -13)));
    QCOMPARE(fake.run().run(), end);
    QCOMPARE(fake.sink.cards, records);
}

// A hang or a crash fails its card at that step with no clean-up on a host that is gone; the next
// card clears the channel into the bin, in a hand-out run too. A host lost for the station's
// reasons, or an end at once, records nothing of the card in hand.
void tst_CBurnInRun::driverFaults_data()
{
    QTest::addColumn<BurnInMode>("mode");
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("call");
    QTest::addColumn<CDeviceLink::Answer>("answer");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<End>("end");

    using Answer = CDeviceLink::Answer;
    const auto capture = BurnInMode::Capture;
    const auto handOut = BurnInMode::HandOut;
    const QStringList clearedFirst = {kOpen, kStatus, kMoveToCapture};
    QTest::newRow("a power-on that hangs, then the card left at the reader goes to the bin")
        << capture << "powerOn" << 1 << Answer::NoReply
        << (kCaptureCard.mid(0, 3) + clearedFirst + kCaptureCard.mid(2))
        << QStringList {"1 fail 上电 无响应", "2 pass"}
        << QStringList {"driver_hang powerOn：planted"} << End::Completed;
    QTest::newRow("hand-out: a chip read that crashes, and the card is captured, not handed out")
        << handOut << "getICInfo" << 1 << Answer::DriverCrash
        << (kHandOutCard.mid(0, 5) + clearedFirst + kHandOutCard.mid(2))
        << QStringList {"1 fail 读卡 驱动崩溃", "2 pass"}
        << QStringList {"driver_crash getICInfo：planted"} << End::Completed;
    QTest::newRow("a capture that crashes: the card still in the channel goes to the bin")
        << capture << "deviceMoveCard" << 1 << Answer::DriverCrash
        << (kCaptureCard.mid(0, 6) + clearedFirst + kCaptureCard.mid(2))
        << QStringList {"1 fail 回收 驱动崩溃", "2 pass duplicate"}
        << QStringList {"driver_crash deviceMoveCard：planted"} << End::Completed;
    QTest::newRow("an open that hangs: the card never began")
        << capture << "openDevice" << 2 << Answer::NoReply << kCaptureCard << QStringList {"1 pass"}
        << QStringList {"driver_hang openDevice：planted"} << End::DeviceLost;
    QTest::newRow("a host ended from outside: the card in hand is not recorded")
        << capture << "powerOn" << 2 << Answer::HostLost << (kCaptureCard + kCaptureCard.mid(0, 3))
        << QStringList {"1 pass"} << QStringList() << End::HostLost;
    QTest::newRow("ended at once: the card in hand is not recorded")
        << handOut << "getICInfo" << 1 << Answer::Abandoned << QStringList(kHandOutCard.mid(0, 5))
        << QStringList() << QStringList() << End::Abandoned;
}

void tst_CBurnInRun::driverFaults()
{
    QFETCH(BurnInMode, mode);
    QFETCH(QString, function);
    QFETCH(int, call);
    QFETCH(CDeviceLink::Answer, answer);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, records);
    QFETCH(QStringList, faults);
    QFETCH(End, end);

    FakeRun fake({2, mode, false});
    fake.faulty().plant(function, call, answer);
    QCOMPARE(fake.run().run(), end);
    QCOMPARE(FakeDevice::calls(), calls);
    QCOMPARE(fake.sink.cards, records);
    QCOMPARE(fake.sink.faults, faults);
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
    fake.stop = true;
    fake.gate.wakeWaiters();
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
    CBurnInSummary summary;
    QList<qint64> times;
    for (const BurnInRecord &record : std::as_const(fake.sink.records)) {
        series.add(record);
        summary.add(record);
        if (record.passed)
            times << record.deviceMs();
    }
    QCOMPARE(series.cards(), 12);
    QCOMPARE(series.failed(), 2);
    // Nearest rank over the passed cards: the 10th of 10 times, the slowest.
    std::sort(times.begin(), times.end());
    QCOMPARE(summary.figures().p95Seconds, double(times.last()) / 1000.0);
}

// A long run would fill the pane: it shows each failed or repeated card and every hundredth, and
// the record on disk every card.
void tst_CBurnInRun::jobTellsThePaneWhatNeedsALook()
{
    QTemporaryDir folder;
    FakeRun fake({201, BurnInMode::Capture, false});
    FakeScript script = {codeAnswer("powerOn", -13)};
    for (int card = 2; card <= 201; ++card) {
        // The third card's number is the second's again.
        const int number = card == 3 ? 2 : card;
        script << chipAnswer(QString(R"({"Ret":0,"Data":{"5A":"62170000%1"}})")
                                 .arg(number, 4, 10, QChar('0'))
                                 .toUtf8());
    }
    FakeDevice::script(script);
    QStringList lines;
    CBurnInJob job(
        fake.link(), fake.gate, jobPlan(folder.path(), 201),
        [&lines](const QString &line) { lines << line; }, std::make_shared<CBurnInProgress>());
    job.run();

    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines.at(0), ">>>老化测试开始：回收 201 张");
    QVERIFY2(lines.at(1).startsWith(">>>老化 第 1 张：- 失败 "), qPrintable(lines.at(1)));
    QVERIFY2(lines.at(1).endsWith("秒，上电：-13"), qPrintable(lines.at(1)));
    QVERIFY2(
        lines.at(2).startsWith(">>>老化 第 3 张：621700000002 通过 "), qPrintable(lines.at(2)));
    QVERIFY2(lines.at(2).endsWith("秒，重复卡号"), qPrintable(lines.at(2)));
    QCOMPARE(lines.at(3), ">>>老化 已完成 100 张：通过 99，失败 1，重复卡号 1");
    QCOMPARE(lines.at(4), ">>>老化 已完成 200 张：通过 199，失败 1，重复卡号 1");
    QVERIFY(lines.at(5).startsWith(">>>老化测试结束（完成）：已完成 201 张  通过 200  失败 1  "));
    QFile csv(QDir(folder.path()).filePath(QDir(folder.path()).entryList({"*.csv"}).value(0)));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll().count("\r\n"), 1 + 201);
}

void tst_CBurnInRun::jobEndsWhenItsRecordCannotBeWritten()
{
    QTemporaryDir folder;
    FakeRun fake({1000, BurnInMode::Capture, false});
    QStringList lines;
    auto progress = std::make_shared<CBurnInProgress>();
    CBurnInJob job(
        fake.link(), fake.gate, jobPlan(folder.path(), 1000),
        [&lines](const QString &line) { lines << line; }, progress);
    {
        const FileSizeLimit disk(256 * 1024);
        job.run();
    }

    const CBurnInProgress::Snapshot snapshot = progress->take();
    QVERIFY(snapshot.finished);
    QVERIFY(!snapshot.cards.isEmpty() && snapshot.cards.size() < 1000);
    const QString end = lines.value(lines.size() - 2);
    QVERIFY2(end.startsWith(">>>老化测试结束（无法写入") && end.contains("results.sqlite"),
        qPrintable(end));
    QVERIFY2(end.contains(QString("已完成 %1 张").arg(snapshot.cards.size())), qPrintable(end));
    // Every card the page was given is in the database, and no other.
    CResultsStore store;
    QVERIFY(store.open(folder.path()));
    QCOMPARE(store.lastCardIndex(snapshot.runId), snapshot.cards.size());
}

void tst_CBurnInRun::jobJudgesTheUnit_data()
{
    QTest::addColumn<qint64>("target");
    QTest::addColumn<bool>("earlyFail");
    QTest::addColumn<int>("failingCard"); // 0 for none
    QTest::addColumn<int>("cardsRun");
    QTest::addColumn<QString>("end");
    QTest::addColumn<Qualification::Verdict>("verdict");

    // 30 failure-free cards demonstrate 13 cycles at 90%; one failure leaves 7.
    using V = Qualification::Verdict;
    QTest::newRow("met") << qint64(10) << true << 0 << 30 << "完成" << V::Pass;
    QTest::newRow("out of reach, run on") << qint64(10) << false << 3 << 30 << "完成" << V::Fail;
    QTest::newRow("out of reach, ended early")
        << qint64(10) << true << 3 << 3 << "无法达标" << V::Fail;
    QTest::newRow("no limit") << qint64(0) << true << 3 << 30 << "完成" << V::Undecided;
}

// The verdict goes into the record before the end that closes the stretch, and a run that
// failed cannot be taken on to another verdict.
void tst_CBurnInRun::jobJudgesTheUnit()
{
    QFETCH(qint64, target);
    QFETCH(bool, earlyFail);
    QFETCH(int, failingCard);
    QFETCH(int, cardsRun);
    QFETCH(QString, end);
    QFETCH(Qualification::Verdict, verdict);
    QTemporaryDir folder;
    FakeRun fake({30, BurnInMode::Capture, false});
    FakeScript script;
    for (int card = 1; card <= 30; ++card) {
        script << codeAnswer("powerOn", card == failingCard ? -13 : 0);
        if (card != failingCard)
            script << chipAnswer(QString(R"({"Ret":0,"Data":{"5A":"6217%1"}})").arg(card).toUtf8());
    }
    FakeDevice::script(script);
    CBurnInJob::Plan plan = jobPlan(folder.path(), 30);
    plan.unit = {QStringLiteral("SN 7/1"), QStringLiteral("VK-200"), QStringLiteral("李工")};
    plan.limits.targetMcbf = target;
    plan.limits.earlyFail = earlyFail;
    QStringList lines;
    auto progress = std::make_shared<CBurnInProgress>();
    CBurnInJob(
        fake.link(), fake.gate, plan, [&lines](const QString &line) { lines << line; }, progress)
        .run();

    const QString runId = progress->runId();
    CResultsStore store;
    QVERIFY(store.open(folder.path()));
    QCOMPARE(store.lastCardIndex(runId), cardsRun);
    const QVector<ResultsRunEvent> events = store.events(runId);
    QCOMPARE(events.size(), 3);
    QCOMPARE(events[1].kind, ResultsEventKind::Verdict);
    QCOMPARE(events[1].reason, resultsVerdictKey(verdict));
    QCOMPARE(events[2].kind, ResultsEventKind::End);
    QCOMPARE(events[2].reason, end);
    QCOMPARE(store.run(runId)->unit.operatorName, QStringLiteral("李工"));
    QVERIFY2(QFileInfo(progress->csvPath()).fileName().startsWith("burnin-SN_7_1-"),
        qPrintable(progress->csvPath()));
    QVERIFY2(lines.first().endsWith("序列号 SN 7/1，型号 VK-200，操作员 李工"
                 + (target > 0 ? "，限值 MCBF ≥ 10 次（置信度 90%）" : QString())),
        qPrintable(lines.first()));
    const QStringList judged = lines.filter(">>>判定：");
    QCOMPARE(judged.size(), target > 0 ? 1 : 0);
    if (target > 0)
        QVERIFY2(judged.front().startsWith(">>>判定：" + Qualification::verdictText(verdict)),
            qPrintable(judged.front()));

    if (cardsRun < 30) {
        lines.clear();
        CBurnInJob::Plan again = jobPlan(folder.path(), 30);
        again.continueRunId = runId;
        CBurnInJob(
            fake.link(), fake.gate, again, [&lines](const QString &line) { lines << line; },
            std::make_shared<CBurnInProgress>())
            .run();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(">>>老化测试未开始：这次运行判定为不合格，不再继续"),
            qPrintable(lines.first()));
        QCOMPARE(store.lastCardIndex(runId), cardsRun);
    }
}

QTEST_GUILESS_MAIN(tst_CBurnInRun)
#include "tst_cburninrun.moc"
