// SPDX-License-Identifier: MIT
#include "fakedevice.h"
#include "gui/cardtest/tabkeypad.h"
#include "gui/shell/maindialog.h"
#include "messagecapture.h"
#include "qtcompat.h"
#include "workingfolder.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryFile>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

#include <cstdio>

#include <unistd.h>

namespace {

using namespace FakeCall;

const QString kIssueDone = ">>>发卡测试完成";
const QString kTakeAndRetest = ">>>请取走卡片，再进行测试！！！";
const QString kBoxEmpty = ">>>卡箱内无卡，请放置好卡片后，再进行测试！！！";
const QString kInsertPrompt = ">>>请在前端插入卡片:";
const QString kCaptureDone = ">>>吞卡测试完成";
const QString kNoLibrary = ">>not found sdk";

QString header(int n)
{
    return ">>>测试发卡 " + QString::number(n) + " 次";
}

QStringList cardLines(
    const QString &number = FakeDevice::kDefaultCardNumber, const QString &powerOff = "0")
{
    return {">>>选卡发卡：0", ">>>移卡：0", ">>>上电：0", ">>>读卡信息：0",
        ">>>发卡卡号：" + number, ">>>下电：" + powerOff, ">>>吐卡给客户：0", ">>>请取走您的卡片"};
}

QStringList cardCalls()
{
    return {kOpen, kStatus, kSend, kMoveToReader, kPowerOn, kRead, kPowerOff, kMoveToFront};
}

QStringList insertLines()
{
    return {kInsertPrompt, ">>>前端进卡：0", ">>>吞卡：0", kCaptureDone};
}

QStringList insertCalls()
{
    return {kOpen, kStatus, kEnter, kMoveToCapture};
}

QStringList tenCardLines()
{
    QStringList lines {header(10)};
    for (int card = 0; card < 10; ++card)
        lines << cardLines();
    return lines << kIssueDone;
}

// Every card after the first is preceded by a wait that the empty channel ends at its first poll.
QStringList tenCardCalls()
{
    QStringList calls = cardCalls();
    for (int card = 1; card < 10; ++card)
        calls << kHeadStart << kStatus << cardCalls();
    return calls;
}

QStringList repeated(const QStringList &lines, int times)
{
    QStringList out;
    for (int i = 0; i < times; ++i)
        out << lines;
    return out;
}

QStringList spiedLines(const QSignalSpy &spy)
{
    QStringList lines;
    for (const QList<QVariant> &arguments : spy)
        lines << arguments.at(0).toString();
    return lines;
}

// Records each wait the tests ask for among the library calls; spends it only when asked to.
enum class Waits { Recorded, Spent };

// Recorded waits take no time, spent ones as long as asked; a wait of the stretched length lasts
// twenty times as long, so that only a stop can end it within any reasonable time.
CTestGate::WaitScale recordWaits(Waits waits, CTestGate::Duration stretched = {})
{
    return [waits, stretched](CTestGate::Duration requested) {
        FakeDevice::record(QString("wait(%1)").arg(requested.count()));
        if (waits == Waits::Recorded)
            return CTestGate::Duration(0);
        return requested == stretched ? requested * 20 : requested;
    };
}

// A main window that found no library, with the fake device filled into its loader.
class FakePage
{
public:
    explicit FakePage(Waits waits = Waits::Recorded, bool withLibrary = true)
    {
        FakeDevice::reset();
        if (withLibrary)
            FakeDevice::install(*m_dialog.sdk());
        m_page = m_dialog.findChild<TabKeypad *>();
        m_page->testGate().setWaitScale(recordWaits(waits));
    }

    // The loader holds no library of its own, so it must not keep pointers to the fakes.
    ~FakePage()
    {
        FakeDevice::release();
        m_page->stopTests();
        FakeDevice::uninstall(*m_dialog.sdk());
    }

    TabKeypad *page() const { return m_page; }
    QPlainTextEdit *logPane() const { return m_dialog.findChild<QPlainTextEdit *>("EditLog"); }
    QPushButton *button(const QString &name) const
    {
        return m_page->findChild<QPushButton *>(name);
    }

    QStringList logLines() const
    {
        const QString text = logPane()->toPlainText();
        return text.isEmpty() ? QStringList() : text.split('\n');
    }

private:
    WorkingFolder m_folder;
    MainDialog m_dialog;
    TabKeypad *m_page = nullptr;
};

// Redirects the process's standard output into a file while it lives.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        m_file.open();
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        dup2(m_file.handle(), STDOUT_FILENO);
    }

    ~StdoutCapture() { restore(); }

    QByteArray text()
    {
        restore();
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
        m_saved = -1;
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace

class tst_TabKeypad : public QObject
{
    Q_OBJECT

private slots:
    void metaObject();
    void withoutLibrary_data();
    void withoutLibrary();
    void openAndClose_data();
    void openAndClose();
    void channelStatusTrace_data();
    void channelStatusTrace();
    void sendCard_data();
    void sendCard();
    void recycleCard_data();
    void recycleCard();
    void runType_data();
    void runType();
    void buttonsReturnAtOnce_data();
    void buttonsReturnAtOnce();
    void testsPressedDuringATestRunAfterItInOrder();
    void openAndCloseDuringATestWaitForItsCall_data();
    void openAndCloseDuringATestWaitForItsCall();
    void stopEndsTheRunningTestAtItsNextStep();
    void stopCutsTheWaitAndDropsQueuedTests_data();
    void stopCutsTheWaitAndDropsQueuedTests();
};

void tst_TabKeypad::metaObject()
{
    FakePage fake;
    TabKeypad *page = fake.page();
    const QMetaObject *meta = page->metaObject();
    QCOMPARE(meta->className(), "TabKeypad");

    QStringList methods;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        methods << meta->method(i).methodSignature();
    QCOMPARE(methods,
        QStringList({"showLog(QString)", "onLog(QString)", "on_BtnOpenDevice_clicked()",
            "on_BtnCloseDevice_clicked()", "on_BtnSendCard_clicked()",
            "on_BtnRecycleCard_clicked()", "on_BtnSendCard10_clicked()"}));
    const QMetaMethod showLog = meta->method(meta->methodOffset());
    QCOMPARE(showLog.methodType(), QMetaMethod::Signal);
    QCOMPARE(showLog.parameterNames(), QList<QByteArray> {"str"});
    const QMetaMethod onLog = meta->method(meta->methodOffset() + 1);
    QCOMPARE(onLog.access(), QMetaMethod::Private);
    QCOMPARE(onLog.parameterNames(), QList<QByteArray> {"str"});

    QCOMPARE(page->qt_metacast("MainWindowPxy"),
        static_cast<void *>(static_cast<MainWindowPxy *>(page)));
    QCOMPARE(page->qt_metacast("CCardTaskCallback"),
        static_cast<void *>(static_cast<CCardTaskCallback *>(page)));
}

void tst_TabKeypad::withoutLibrary_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("open") << "BtnOpenDevice";
    QTest::newRow("close") << "BtnCloseDevice";
    QTest::newRow("issue one card") << "BtnSendCard";
    QTest::newRow("capture a card") << "BtnRecycleCard";
    QTest::newRow("issue ten cards") << "BtnSendCard10";
}

// No entry may be called: they are all null here, so a call would crash the test.
void tst_TabKeypad::withoutLibrary()
{
    QFETCH(QString, button);
    FakePage fake(Waits::Recorded, false);
    QSignalSpy lines(fake.page(), &TabKeypad::showLog);

    fake.button(button)->click();
    QCOMPARE(fake.logLines(), QStringList {kNoLibrary});
    QCOMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(lines.count(), 0);
    QCOMPARE(fake.logLines(), QStringList {kNoLibrary});
}

void tst_TabKeypad::openAndClose_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<FakeScript>("script");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("open shows its code")
        << "BtnOpenDevice" << FakeScript() << QStringList {">>>打开设备：0"} << QStringList {kOpen};
    QTest::newRow("open shows a failure code")
        << "BtnOpenDevice" << FakeScript {codeAnswer("openDevice", -3)}
        << QStringList {">>>打开设备：-3"} << QStringList {kOpen};
    QTest::newRow("close logs without a code")
        << "BtnCloseDevice" << FakeScript() << QStringList {">>>关闭设备"} << QStringList {kClose};
    QTest::newRow("close ignores a failure")
        << "BtnCloseDevice" << FakeScript {codeAnswer("closeDevice", -11)}
        << QStringList {">>>关闭设备"} << QStringList {kClose};
}

void tst_TabKeypad::openAndClose()
{
    QFETCH(QString, button);
    QFETCH(FakeScript, script);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, calls);

    FakePage fake;
    FakeDevice::script(script);
    fake.button(button)->click();
    QTRY_COMPARE(fake.logLines(), lines);
    QCOMPARE(FakeDevice::calls(), calls);
}

void tst_TabKeypad::channelStatusTrace_data()
{
    QTest::addColumn<FakeScript>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("empty channel")
        << FakeScript {statusAnswer("cp35")} << 0
        << QByteArray("get status 1\nget status 2\nget status ret cp35\nget status ret 0\n");
    QTest::newRow("card at the front")
        << FakeScript {statusAnswer("cp34")} << 1
        << QByteArray("get status 1\nget status 2\nget status ret cp34\nget status ret 1\n");
    QTest::newRow("unreadable reply")
        << FakeScript {FakeAnswer {"getStatus", 0, "{}"}} << 0
        << QByteArray("get status 1\nget status 2\nget status ret 0\n");
    QTest::newRow("failure code") << FakeScript {codeAnswer("getStatus", 7)} << 7
                                  << QByteArray("get status ret 7\n");
}

void tst_TabKeypad::channelStatusTrace()
{
    QFETCH(FakeScript, script);
    QFETCH(int, status);
    QFETCH(QByteArray, output);

    FakePage fake;
    FakeDevice::script(script);
    StdoutCapture capture;
    QCOMPARE(fake.page()->getChannelStatus(), status);
    QCOMPARE(capture.text(), output);
    QCOMPARE(FakeDevice::calls(), QStringList {kStatus});
}

void tst_TabKeypad::sendCard_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<FakeScript>("script");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("debug");

    const QStringList none;
    const QStringList card = cardCalls();
    const QStringList ejectLeft = {kOpen, kStatus, kMoveToFront};

    QTest::newRow("n of 0 calls nothing")
        << 0 << FakeScript() << QStringList {header(0), kIssueDone} << none << none;
    QTest::newRow("n of 1 issues one card without a wait")
        << 1 << FakeScript() << (QStringList {header(1)} << cardLines() << kIssueDone) << card
        << none;
    QTest::newRow("negative n issues nothing")
        << -1 << FakeScript() << QStringList {header(-1), kIssueDone} << none << none;
    QTest::newRow("failed open ends the run")
        << 1 << FakeScript {codeAnswer("openDevice", -3)}
        << QStringList {header(1), ">>>打开设备：-3"} << QStringList {kOpen} << none;
    QTest::newRow("card left in the channel is ejected and ends the run")
        << 1 << FakeScript {statusAnswer("cp34")}
        << QStringList {header(1), ">>>吐卡给客户：0", kTakeAndRetest} << ejectLeft << none;
    QTest::newRow("failed eject of a left card ends the run alike")
        << 1 << FakeScript {statusAnswer("cp31"), codeAnswer("deviceMoveCard", -12)}
        << QStringList {header(1), ">>>吐卡给客户：-12", kTakeAndRetest} << ejectLeft << none;
    QTest::newRow("status failure 1 reads as a card left")
        << 1 << FakeScript {codeAnswer("getStatus", 1)}
        << QStringList {header(1), ">>>吐卡给客户：0", kTakeAndRetest} << ejectLeft << none;
    QTest::newRow("other status failure lets the card go")
        << 1 << FakeScript {codeAnswer("getStatus", -11)}
        << (QStringList {header(1)} << cardLines() << kIssueDone) << card << none;
    QTest::newRow("status reply without Channel lets the card go")
        << 1 << FakeScript {FakeAnswer {"getStatus", 0, R"({"Ret":0})"}}
        << (QStringList {header(1)} << cardLines() << kIssueDone) << card << none;
    QTest::newRow("empty box") << 1 << FakeScript {codeAnswer("deviceSendCard", -10)}
                               << QStringList {header(1), ">>>选卡发卡：-10", kBoxEmpty}
                               << QStringList(card.mid(0, 3)) << none;
    QTest::newRow("failed dispense ends the run")
        << 1 << FakeScript {codeAnswer("deviceSendCard", -15)}
        << QStringList {header(1), ">>>选卡发卡：-15"} << QStringList(card.mid(0, 3)) << none;
    QTest::newRow("failed move to the reader ends the run")
        << 1 << FakeScript {codeAnswer("deviceMoveCard", -12)}
        << QStringList {header(1), ">>>选卡发卡：0", ">>>移卡：-12"} << QStringList(card.mid(0, 4))
        << none;
    QTest::newRow("failed power-on ends the run")
        << 1 << FakeScript {codeAnswer("powerOn", -13)}
        << QStringList {header(1), ">>>选卡发卡：0", ">>>移卡：0", ">>>上电：-13"}
        << QStringList(card.mid(0, 5)) << none;
    QTest::newRow("failed chip read ends the run")
        << 1 << FakeScript {codeAnswer("getICInfo", -14)}
        << QStringList {header(1), ">>>选卡发卡：0", ">>>移卡：0", ">>>上电：0", ">>>读卡信息：-14"}
        << QStringList(card.mid(0, 6)) << none;
    QTest::newRow("chip reply with Ret 1 shows no number, the card still goes out")
        << 1 << FakeScript {chipAnswer(R"({"Ret":1,"Data":{"5A":"6217"}})")}
        << (QStringList {header(1)} << cardLines("") << kIssueDone) << card << none;
    QTest::newRow("chip reply filling the buffer without NUL shows no number")
        << 1 << FakeScript {chipAnswer(QByteArray(1024, '{'))}
        << (QStringList {header(1)} << cardLines("") << kIssueDone) << card << none;
    QTest::newRow("failed power-off shows its code, the card still goes out")
        << 1 << FakeScript {codeAnswer("powerOff", -14)}
        << (QStringList {header(1)} << cardLines(FakeDevice::kDefaultCardNumber, "-14")
                                    << kIssueDone)
        << card << none;
    QTest::newRow("failed hand-out ends the run")
        << 1 << FakeScript {codeAnswer("deviceMoveCard", 0), codeAnswer("deviceMoveCard", -12)}
        << (QStringList {header(1)} << cardLines().mid(0, 6) << ">>>吐卡给客户：-12") << card
        << none;
    QTest::newRow("two cards, the first taken at the second poll")
        << 2 << FakeScript {statusAnswer("cp35"), statusAnswer("cp34")}
        << (QStringList {header(2)} << cardLines() << cardLines() << kIssueDone)
        << (QStringList(card) << kHeadStart << kStatus << kPollPause << kStatus << card)
        << QStringList {"nCardStatus =  1", "nCardStatus =  0", "getChannelStatus ret  0"};
    QTest::newRow("negative status ends the wait like an empty channel")
        << 2 << FakeScript {statusAnswer("cp35"), codeAnswer("getStatus", -11)}
        << (QStringList {header(2)} << cardLines() << cardLines() << kIssueDone)
        << (QStringList(card) << kHeadStart << kStatus << card)
        << QStringList {"nCardStatus =  -11", "getChannelStatus ret  -11"};
    QTest::newRow("positive status failure keeps polling")
        << 2 << FakeScript {statusAnswer("cp35"), codeAnswer("getStatus", 5)}
        << (QStringList {header(2)} << cardLines() << cardLines() << kIssueDone)
        << (QStringList(card) << kHeadStart << kStatus << kPollPause << kStatus << card)
        << QStringList {"nCardStatus =  5", "nCardStatus =  0", "getChannelStatus ret  0"};
    QTest::newRow("card never taken: 120 polls, then the next card ejects it")
        << 2 << (FakeScript {statusAnswer("cp35")} << QtCompat::repeated(121, statusAnswer("cp34")))
        << (QStringList {header(2)} << cardLines() << ">>>吐卡给客户：0" << kTakeAndRetest)
        << (QStringList(card) << kHeadStart << repeated({kStatus, kPollPause}, 120) << ejectLeft)
        << repeated({"nCardStatus =  1"}, 120);
    QTest::newRow("ten cards, each taken at the first poll")
        << 10 << FakeScript() << tenCardLines() << tenCardCalls()
        << repeated({"nCardStatus =  0", "getChannelStatus ret  0"}, 9);
}

void tst_TabKeypad::sendCard()
{
    QFETCH(int, n);
    QFETCH(FakeScript, script);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, debug);

    FakePage fake;
    FakeDevice::script(script);
    QSignalSpy spy(fake.page(), &TabKeypad::showLog);
    MessageCapture messages;
    fake.page()->sendCard(n);
    QCOMPARE(spiedLines(spy), lines);
    QCOMPARE(FakeDevice::calls(), calls);
    QCOMPARE(messages.messages(), debug);
    QCOMPARE(fake.logLines(), lines);
}

void tst_TabKeypad::recycleCard_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<FakeScript>("script");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("calls");

    const QString inChannel = ">>>通道内有卡，直接吞卡。吞卡：";
    const QStringList captureInChannel = {kOpen, kStatus, kMoveToCapture};

    QTest::newRow("count of 0 calls nothing")
        << 0 << FakeScript() << QStringList {kCaptureDone} << QStringList();
    QTest::newRow("negative count calls nothing")
        << -1 << FakeScript() << QStringList {kCaptureDone} << QStringList();
    QTest::newRow("empty channel, the inserted card is captured")
        << 1 << FakeScript() << insertLines() << insertCalls();
    QTest::newRow("card in the channel is captured at once")
        << 1 << FakeScript {statusAnswer("cp34")} << QStringList {inChannel + "0", kCaptureDone}
        << captureInChannel;
    QTest::newRow("failed capture of a card in the channel still completes")
        << 1 << FakeScript {statusAnswer("cp31"), codeAnswer("deviceMoveCard", -12)}
        << QStringList {inChannel + "-12", kCaptureDone} << captureInChannel;
    QTest::newRow("positive status failure counts as a card")
        << 1 << FakeScript {codeAnswer("getStatus", 3)}
        << QStringList {inChannel + "0", kCaptureDone} << captureInChannel;
    QTest::newRow("negative status failure asks for a card")
        << 1 << FakeScript {codeAnswer("getStatus", -11)} << insertLines() << insertCalls();
    QTest::newRow("status reply without Channel asks for a card")
        << 1 << FakeScript {FakeAnswer {"getStatus", 0, "[]"}} << insertLines() << insertCalls();
    QTest::newRow("failed open ends the run")
        << 1 << FakeScript {codeAnswer("openDevice", -3)} << QStringList {">>>打开设备：-3"}
        << QStringList {kOpen};
    QTest::newRow("failed insertion ends the run")
        << 1 << FakeScript {codeAnswer("deviceEnterCard", -16)}
        << QStringList {kInsertPrompt, ">>>前端进卡：-16"} << QStringList(insertCalls().mid(0, 3));
    QTest::newRow("failed capture of an inserted card ends the run")
        << 1 << FakeScript {codeAnswer("deviceMoveCard", -12)}
        << QStringList {kInsertPrompt, ">>>前端进卡：0", ">>>吞卡：-12"} << insertCalls();
    QTest::newRow("count of 2 opens the device for each card")
        << 2 << FakeScript {statusAnswer("cp34")}
        << (QStringList {inChannel + "0"} << insertLines()) << (captureInChannel + insertCalls());
}

void tst_TabKeypad::recycleCard()
{
    QFETCH(int, count);
    QFETCH(FakeScript, script);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, calls);

    FakePage fake;
    FakeDevice::script(script);
    QSignalSpy spy(fake.page(), &TabKeypad::showLog);
    fake.page()->recycleCard(count);
    QCOMPARE(spiedLines(spy), lines);
    QCOMPARE(FakeDevice::calls(), calls);
}

void tst_TabKeypad::runType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("1 issues one card")
        << 1 << (QStringList {header(1)} << cardLines() << kIssueDone) << cardCalls();
    QTest::newRow("2 captures one card") << 2 << insertLines() << insertCalls();
    QTest::newRow("3 issues ten cards") << 3 << tenCardLines() << tenCardCalls();
    QTest::newRow("0 runs nothing") << 0 << QStringList() << QStringList();
    QTest::newRow("4 runs nothing") << 4 << QStringList() << QStringList();
    QTest::newRow("-1 runs nothing") << -1 << QStringList() << QStringList();
}

void tst_TabKeypad::runType()
{
    QFETCH(int, type);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, calls);

    FakePage fake;
    QSignalSpy spy(fake.page(), &TabKeypad::showLog);
    fake.page()->onRunType(type);
    QCOMPARE(spiedLines(spy), lines);
    QCOMPARE(FakeDevice::calls(), calls);
}

void tst_TabKeypad::buttonsReturnAtOnce_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("issue one card")
        << "BtnSendCard" << (QStringList {header(1)} << cardLines() << kIssueDone);
    QTest::newRow("capture a card") << "BtnRecycleCard" << insertLines();
    QTest::newRow("issue ten cards") << "BtnSendCard10" << tenCardLines();
}

void tst_TabKeypad::buttonsReturnAtOnce()
{
    QFETCH(QString, button);
    QFETCH(QStringList, lines);

    FakePage fake;
    QList<bool> onGuiThread;
    connect(fake.logPane(), &QPlainTextEdit::textChanged, this,
        [&onGuiThread] { onGuiThread << (QThread::currentThread() == qApp->thread()); });

    FakeDevice::hold("openDevice");
    fake.button(button)->click();
    // The press has returned while its test is still inside the library.
    QVERIFY(FakeDevice::waitUntilHeld(5000));
    FakeDevice::release();

    QTRY_COMPARE(fake.logLines(), lines);
    QVERIFY(!onGuiThread.isEmpty());
    QVERIFY(!onGuiThread.contains(false));
}

void tst_TabKeypad::testsPressedDuringATestRunAfterItInOrder()
{
    FakePage fake;
    FakeDevice::hold("openDevice");
    fake.button("BtnSendCard")->click();
    QVERIFY(FakeDevice::waitUntilHeld(5000));
    fake.button("BtnRecycleCard")->click();
    fake.button("BtnSendCard")->click();
    FakeDevice::release();

    const QStringList oneCard = QStringList {header(1)} << cardLines() << kIssueDone;
    QTRY_COMPARE(fake.logLines(), QStringList() << oneCard << insertLines() << oneCard);
    QCOMPARE(FakeDevice::calls(), QStringList() << cardCalls() << insertCalls() << cardCalls());
    QCOMPARE(FakeDevice::overlaps(), 0);
}

void tst_TabKeypad::openAndCloseDuringATestWaitForItsCall_data()
{
    QTest::addColumn<int>("insertion");

    QTest::newRow("card inserted") << 0;
    QTest::newRow("insertion refused") << -16;
}

// The capture test sits in deviceEnterCard, which can take ten seconds on a real device: the
// presses must neither wait for it nor get their calls or lines in ahead of it.
void tst_TabKeypad::openAndCloseDuringATestWaitForItsCall()
{
    QFETCH(int, insertion);

    FakePage fake;
    FakeDevice::script({codeAnswer("deviceEnterCard", insertion)});
    FakeDevice::hold("deviceEnterCard");
    fake.button("BtnRecycleCard")->click();
    QVERIFY(FakeDevice::waitUntilHeld(5000));
    fake.button("BtnOpenDevice")->click();
    fake.button("BtnCloseDevice")->click();

    bool eventsHandled = false;
    QTimer::singleShot(0, this, [&eventsHandled] { eventsHandled = true; });
    QTRY_VERIFY(eventsHandled);
    QTRY_COMPARE(fake.logLines(), QStringList {kInsertPrompt});
    QCOMPARE(FakeDevice::calls(), insertCalls().mid(0, 3));
    FakeDevice::release();

    const QString entered = ">>>前端进卡：" + QString::number(insertion);
    const QStringList capture
        = insertion == 0 ? insertLines() : QStringList {kInsertPrompt, entered};
    const QStringList presses = {">>>打开设备：0", ">>>关闭设备"};
    QTRY_COMPARE(fake.logLines(), capture + presses);
    const QStringList captureCalls = insertCalls().mid(0, insertion == 0 ? 4 : 3);
    QCOMPARE(FakeDevice::calls(), captureCalls + QStringList({kOpen, kClose}));
    QCOMPARE(FakeDevice::overlaps(), 0);
}

void tst_TabKeypad::stopEndsTheRunningTestAtItsNextStep()
{
    FakePage fake;
    FakeDevice::hold("powerOn");
    fake.button("BtnSendCard")->click();
    QVERIFY(FakeDevice::waitUntilHeld(5000));
    fake.page()->testGate().stop();
    FakeDevice::release();
    fake.page()->stopTests();

    QCoreApplication::sendPostedEvents();
    QCOMPARE(
        fake.logLines(), QStringList({header(1), ">>>选卡发卡：0", ">>>移卡：0", ">>>上电：0"}));
    QCOMPARE(FakeDevice::calls(), cardCalls().mid(0, 5));
}

void tst_TabKeypad::stopCutsTheWaitAndDropsQueuedTests_data()
{
    QTest::addColumn<QString>("channel");
    QTest::addColumn<QString>("wait");

    QTest::newRow("during the head start") << "cp35" << kHeadStart;
    QTest::newRow("between polls") << "cp34" << kPollPause;
}

void tst_TabKeypad::stopCutsTheWaitAndDropsQueuedTests()
{
    QFETCH(QString, channel);
    QFETCH(QString, wait);

    FakePage fake(Waits::Spent);
    const auto stretched = CTestGate::Duration(wait.section('(', 1).chopped(1).toInt());
    fake.page()->testGate().setWaitScale(recordWaits(Waits::Spent, stretched));
    FakeDevice::script({statusAnswer("cp35")});
    FakeDevice::setDefault(statusAnswer(channel.toLatin1().constData()));
    fake.button("BtnSendCard10")->click();
    QTRY_VERIFY(FakeDevice::calls().contains(wait));
    fake.button("BtnSendCard")->click();
    fake.button("BtnRecycleCard")->click();

    QElapsedTimer timer;
    timer.start();
    fake.page()->stopTests();
    // The wait under way lasts 60 s or 10 s when nothing cuts it; a generous bound still tells
    // the two apart on a loaded machine.
    QVERIFY2(timer.elapsed() < 20000, QByteArray::number(timer.elapsed()));
    QCOMPARE(FakeDevice::calls().last(), wait);
    QCOMPARE(FakeDevice::calls().count(kOpen), 1);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(fake.logLines(), QStringList {header(10)} << cardLines());
}

QTEST_MAIN(tst_TabKeypad)
#include "tst_tabkeypad.moc"
