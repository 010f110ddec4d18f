// SPDX-License-Identifier: MIT
#include "engine/device/zov_sdk.h"
#include "messagecapture.h"

#include <QtTest>

#include <dlfcn.h>

namespace {

bool isLoaded(const char *path)
{
    void *handle = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

bool allEntriesNull(const ZOV_SDK &sdk)
{
    return !sdk.pLib && !sdk.pOpenDevice && !sdk.pCloseDevice && !sdk.pGetStatus && !sdk.pPowerOn
        && !sdk.pPowerOff && !sdk.pDeviceEnterCard && !sdk.pDeviceMoveCard && !sdk.pDeviceSendCard
        && !sdk.pGetICInfo && !sdk.pGetICInfoARQC;
}

bool allEntriesSet(const ZOV_SDK &sdk)
{
    return sdk.pLib && sdk.pOpenDevice && sdk.pCloseDevice && sdk.pGetStatus && sdk.pPowerOn
        && sdk.pPowerOff && sdk.pDeviceEnterCard && sdk.pDeviceMoveCard && sdk.pDeviceSendCard
        && sdk.pGetICInfo && sdk.pGetICInfoARQC;
}

} // namespace

class tst_ZovSdk : public QObject
{
    Q_OBJECT

private slots:
    void constructedEmpty();
    void initLoads_data();
    void initLoads();
    void secondInitKeepsFirstLibrary();
    void unInitUnloads();
    void destructorUnloads();
    void simulatorEntriesAreCallable();
};

void tst_ZovSdk::constructedEmpty()
{
    ZOV_SDK sdk;
    QVERIFY(allEntriesNull(sdk));
}

void tst_ZovSdk::initLoads_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("no file") << QByteArray("./lib/no-such-library.so") << false
                             << QStringList {"open so failed"};
    QTest::newRow("not a library")
        << QByteArray(__FILE__) << false << QStringList {"open so failed"};
    QTest::newRow("lacks getICInfoARQC")
        << QByteArray(FAKE_NO_ARQC_PATH) << false
        << QStringList {"load pGetICInfoARQC error", "load method failed"};
    QTest::newRow("lacks deviceEnterCard, spelled as the log has it")
        << QByteArray(FAKE_NO_ENTER_PATH) << false
        << QStringList {"load pDevciceEnterCard error", "load method failed"};
    QTest::newRow("complete") << QByteArray(FAKE_FULL_PATH) << true << QStringList {"load success"};
    QTest::newRow("simulator") << QByteArray(SIM_LIBRARY_PATH) << true
                               << QStringList {"load success"};
}

void tst_ZovSdk::initLoads()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, loaded);
    QFETCH(QStringList, messages);

    MessageCapture capture;
    {
        ZOV_SDK sdk;
        QCOMPARE(sdk.Init(path.constData()), loaded);
        QCOMPARE(capture.messages(), messages);
        if (loaded)
            QVERIFY(allEntriesSet(sdk));
        else
            QVERIFY(allEntriesNull(sdk));
        // A refused library is closed again at once, not kept loaded behind a cleared table.
        QCOMPARE(isLoaded(path.constData()), loaded);
    }
    QVERIFY(!isLoaded(path.constData()));
}

void tst_ZovSdk::secondInitKeepsFirstLibrary()
{
    ZOV_SDK sdk;
    QVERIFY(sdk.Init(FAKE_FULL_PATH));
    void *const lib = sdk.pLib;
    const OpenDeviceFn open = sdk.pOpenDevice;

    MessageCapture capture;
    QVERIFY(!sdk.Init(SIM_LIBRARY_PATH));
    QVERIFY(capture.messages().isEmpty());
    QCOMPARE(sdk.pLib, lib);
    QVERIFY(sdk.pOpenDevice == open);
    QVERIFY(!isLoaded(SIM_LIBRARY_PATH));
}

void tst_ZovSdk::unInitUnloads()
{
    ZOV_SDK sdk;
    sdk.UnInit(); // nothing loaded: nothing to do
    QVERIFY(sdk.Init(FAKE_FULL_PATH));
    sdk.UnInit();
    QVERIFY(allEntriesNull(sdk));
    QVERIFY(!isLoaded(FAKE_FULL_PATH));
    // Only UnInit makes the loader ready for another library.
    QVERIFY(sdk.Init(SIM_LIBRARY_PATH));
}

void tst_ZovSdk::destructorUnloads()
{
    {
        ZOV_SDK sdk;
        QVERIFY(sdk.Init(FAKE_FULL_PATH));
        QVERIFY(isLoaded(FAKE_FULL_PATH));
    }
    QVERIFY(!isLoaded(FAKE_FULL_PATH));
}

void tst_ZovSdk::simulatorEntriesAreCallable()
{
    ZOV_SDK sdk;
    QVERIFY(sdk.Init(SIM_LIBRARY_PATH));
    QCOMPARE(sdk.pOpenDevice(0, 115200, "", 5), 0);
    char reply[1024] = {};
    QCOMPARE(sdk.pGetStatus(5, reply), 0);
    QVERIFY(QByteArray(reply).contains("\"Channel\""));
    QCOMPARE(sdk.pCloseDevice(5), 0);
}

QTEST_GUILESS_MAIN(tst_ZovSdk)
#include "tst_zov_sdk.moc"
