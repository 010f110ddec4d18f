// SPDX-License-Identifier: MIT
#include "engine/store/cstationlock.h"
#include "gui/cardtest/tabkeypad.h"
#include "qtcompat.h"
#include "simulatorwindow.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

namespace {

constexpr int kRunTimeoutMs = 15000;

const QString kOpen = R"(openDevice(0, 115200, "", 5) = 0)";
const QString kStatus = "getStatus(5, buf) = 0";
const QString kMoveToCapture = R"(deviceMoveCard("cp35", 5) = 0)";

QStringList oneCardLines(const QString &powerOff = "0", const QString &number = "<number>")
{
    return {">>>测试发卡 1 次", ">>>选卡发卡：0", ">>>移卡：0", ">>>上电：0", ">>>读卡信息：0",
        ">>>发卡卡号：" + number, ">>>下电：" + powerOff, ">>>吐卡给客户：0", ">>>请取走您的卡片",
        ">>>发卡测试完成"};
}

QStringList oneCardCalls()
{
    return {kOpen, kStatus, R"(deviceSendCard("cp31", 30) = 0)",
        R"(deviceMoveCard("cp31", 30) = 0)", "powerOn(0, 5) = 0",
        R"(getICInfo(2, "5A", "", &-1, buf, &0, "", 20) = 0)", "powerOff(5) = 0",
        R"(deviceMoveCard("cp34", 10) = 0)"};
}

QStringList insertLines()
{
    return {">>>请在前端插入卡片:", ">>>前端进卡：0", ">>>吞卡：0", ">>>吞卡测试完成"};
}

bool allZero(const QList<int> &counts)
{
    return std::all_of(counts.begin(), counts.end(), [](int count) { return count == 0; });
}

} // namespace

class tst_TabKeypadSimulator : public QObject
{
    Q_OBJECT

private slots:
    void oneCard();
    void buttonsLeaveAnotherHoldersDeviceAlone_data();
    void buttonsLeaveAnotherHoldersDeviceAlone();
    void runEndsWhereTheDeviceSays_data();
    void runEndsWhereTheDeviceSays();
    void captureWithInsertion();
    void captureQueuedBehindAnIssueTakesItsCard();
    void libraryNeverEnteredTwiceWhileButtonsArePressed();
    void closingDuringTenCardRunStopsIt_data();
    void closingDuringTenCardRunStopsIt();
};

void tst_TabKeypadSimulator::oneCard()
{
    SimulatorWindow window({"VARNAK_SIM_TAKE_MS=50"});
    QVERIFY(window.hasLibrary());
    QList<bool> onGuiThread;
    connect(window.logPane(), &QPlainTextEdit::textChanged, this,
        [&onGuiThread] { onGuiThread << (QThread::currentThread() == qApp->thread()); });

    QTest::mouseClick(window.button("BtnSendCard"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.logLines(), oneCardLines(), kRunTimeoutMs);
    QCOMPARE(window.cardNumbers().size(), 1);
    QVERIFY(!onGuiThread.contains(false));

    window.close();
    QCOMPARE(window.calls(), QStringList(oneCardCalls()) << "overlaps 0");
}

void tst_TabKeypadSimulator::buttonsLeaveAnotherHoldersDeviceAlone_data()
{
    QTest::addColumn<QString>("button");
    for (const char *button :
        {"BtnOpenDevice", "BtnCloseDevice", "BtnSendCard", "BtnRecycleCard", "BtnSendCard10"})
        QTest::newRow(button) << button;
}

// While another process (a command-line burn-in, here a lock of the test's own) holds the
// working folder's device, a press says who holds it and calls nothing; once it is free, the
// press works as ever.
void tst_TabKeypadSimulator::buttonsLeaveAnotherHoldersDeviceAlone()
{
    QFETCH(QString, button);
    SimulatorWindow window({"VARNAK_SIM_TAKE_MS=50"});
    QVERIFY(window.hasLibrary());
    auto holder = std::make_unique<CStationLock>(QDir::current().absoluteFilePath("results"));
    QVERIFY(holder->tryLock());

    QTest::mouseClick(window.button(button), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.logLines().size(), 1, kRunTimeoutMs);
    const QString refused = window.logLines().constFirst();
    QVERIFY2(refused.startsWith(">>>设备正被另一进程使用：")
            && refused.contains(QString("进程 %1").arg(QCoreApplication::applicationPid())),
        qPrintable(refused));
    holder.reset();
    QTest::mouseClick(window.button("BtnSendCard"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(
        window.logLines(), QStringList(refused) << oneCardLines(), kRunTimeoutMs);
    window.close();
    QCOMPARE(window.calls(), QStringList(oneCardCalls()) << "overlaps 0");
}

void tst_TabKeypadSimulator::runEndsWhereTheDeviceSays_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QStringList>("lines");

    const QString header = ">>>测试发卡 1 次";
    QTest::newRow("failed open") << "VARNAK_SIM_RC_openDevice=-3"
                                 << QStringList {header, ">>>打开设备：-3"};
    QTest::newRow("empty box") << "VARNAK_SIM_CARDS=0"
                               << QStringList {header, ">>>选卡发卡：-10",
                                      ">>>卡箱内无卡，请放置好卡片后，再进行测试！！！"};
    QTest::newRow("card reported in the channel")
        << R"(VARNAK_SIM_STATUS_REPLY={"Channel":"cp34"})"
        << QStringList {header, ">>>吐卡给客户：-12", ">>>请取走卡片，再进行测试！！！"};
    QTest::newRow("failed power-on")
        << "VARNAK_SIM_RC_powerOn=-13"
        << QStringList {header, ">>>选卡发卡：0", ">>>移卡：0", ">>>上电：-13"};
    QTest::newRow("failed power-off shown, the card still goes out")
        << "VARNAK_SIM_RC_powerOff=-14" << oneCardLines("-14");
    QTest::newRow("chip reply with Ret 1 shows no number")
        << R"(VARNAK_SIM_ICINFO_REPLY={"Ret":1})" << oneCardLines("0", "");
}

void tst_TabKeypadSimulator::runEndsWhereTheDeviceSays()
{
    QFETCH(QString, setting);
    QFETCH(QStringList, lines);

    SimulatorWindow window({setting});
    QVERIFY(window.hasLibrary());
    window.button("BtnSendCard")->click();
    QTRY_COMPARE_WITH_TIMEOUT(window.logLines(), lines, kRunTimeoutMs);
}

void tst_TabKeypadSimulator::captureWithInsertion()
{
    SimulatorWindow window({"VARNAK_SIM_INSERT_MS=50"});
    QVERIFY(window.hasLibrary());
    window.button("BtnRecycleCard")->click();
    QTRY_COMPARE_WITH_TIMEOUT(window.logLines(), insertLines(), kRunTimeoutMs);

    window.close();
    QCOMPARE(window.calls(),
        QStringList({kOpen, kStatus, "deviceEnterCard(10) = 0", kMoveToCapture, "overlaps 0"}));
}

// The customer never takes the card, so the capture pressed meanwhile finds it in the channel.
void tst_TabKeypadSimulator::captureQueuedBehindAnIssueTakesItsCard()
{
    SimulatorWindow window({"VARNAK_SIM_TAKE_MS=off", "VARNAK_SIM_LATENCY_MS=20"});
    QVERIFY(window.hasLibrary());
    window.button("BtnSendCard")->click();
    window.button("BtnRecycleCard")->click();
    QTRY_COMPARE_WITH_TIMEOUT(window.logLines(),
        QStringList(oneCardLines()) << ">>>通道内有卡，直接吞卡。吞卡：0"
                                    << ">>>吞卡测试完成",
        kRunTimeoutMs);

    window.close();
    QCOMPARE(window.calls(),
        QStringList(oneCardCalls()) << kOpen << kStatus << kMoveToCapture << "overlaps 0");
}

void tst_TabKeypadSimulator::libraryNeverEnteredTwiceWhileButtonsArePressed()
{
    SimulatorWindow window(
        {"VARNAK_SIM_LATENCY_MS=20", "VARNAK_SIM_TAKE_MS=100", "VARNAK_SIM_INSERT_MS=20"});
    QVERIFY(window.hasLibrary());
    window.button("BtnSendCard10")->click();
    QTRY_VERIFY_WITH_TIMEOUT(window.logLines().contains(">>>选卡发卡：0"), kRunTimeoutMs);
    for (int round = 0; round < 10; ++round) {
        window.button("BtnOpenDevice")->click();
        window.button("BtnCloseDevice")->click();
        window.button("BtnSendCard")->click();
        window.button("BtnRecycleCard")->click();
    }

    window.close();
    // Every press waited behind the ten-card run, and the close dropped them all.
    const QStringList calls = window.calls();
    QCOMPARE(calls.filter("closeDevice(5)").size(), 0);
    QCOMPARE(calls.last(), QString("overlaps 0"));
    QVERIFY(allZero(window.overlapsSeenByCalls()));
}

void tst_TabKeypadSimulator::closingDuringTenCardRunStopsIt_data()
{
    QTest::addColumn<int>("statusQueries");

    // One query checks the channel before the card; the wait's polls follow the head start.
    QTest::newRow("during the head start") << 1;
    QTest::newRow("while polling") << 3;
}

void tst_TabKeypadSimulator::closingDuringTenCardRunStopsIt()
{
    QFETCH(int, statusQueries);

    SimulatorWindow window({"VARNAK_SIM_TAKE_MS=off"});
    QVERIFY(window.hasLibrary());
    window.button("BtnSendCard10")->click();
    QTRY_VERIFY_WITH_TIMEOUT(window.logLines().contains(">>>请取走您的卡片"), kRunTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(window.calls().count(kStatus) >= statusQueries, kRunTimeoutMs);
    window.button("BtnSendCard")->click();
    window.button("BtnRecycleCard")->click();

    // Far below the minute of polls that the run would still wait, with room for a loaded
    // machine: the stop, not the clock, ended the wait.
    const qint64 elapsed = window.close();
    QVERIFY2(elapsed < 20000, QByteArray::number(elapsed));

    const QStringList calls = window.calls();
    QCOMPARE(calls.last(), QString("overlaps 0"));
    QCOMPARE(calls.count(kOpen), 1);
    QCOMPARE(calls.mid(0, 8), oneCardCalls());
    QCOMPARE(calls.mid(8, calls.size() - 9),
        QtCompat::repeated(calls.size() - 9, QStringLiteral(R"(getStatus(5, buf) = 0)")));
}

QTEST_MAIN(tst_TabKeypadSimulator)
#include "tst_tabkeypadsimulator.moc"
