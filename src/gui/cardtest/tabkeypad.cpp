// SPDX-License-Identifier: MIT
#include "gui/cardtest/tabkeypad.h"

#include "engine/device/cdevicequeue.h"
#include "engine/device/devicecalls.h"
#include "engine/device/removalwait.h"
#include "engine/device/replyreaders.h"
#include "engine/device/zov_sdk.h"
#include "engine/store/cstationlock.h"
#include "gui/cardtest/ccardoperatortask.h"
#include "gui/cardtest/csleeper.h"
#include "gui/shell/maindialog.h"
#include "ui_tabkeypad.h"

#include <QDebug>
#include <QDir>
#include <QRunnable>

#include <cstdio>
#include <memory>
#include <string>

namespace {

enum RunType { kIssueOneCard = 1, kCaptureOneCard = 2, kIssueTenCards = 3 };
constexpr int kBatchCards = 10;

using namespace DeviceArguments;

constexpr int kCardInChannel = 1;

std::function<int(const ZOV_SDK &)> moveTo(Move move)
{
    return [move](const ZOV_SDK &sdk) { return DeviceCalls::move(sdk, move); };
}

// Flushed line by line: behind a pipe, stdout is fully buffered and would hold the lines back.
void printStatusTrace(const std::string &line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

} // namespace

TabKeypad::TabKeypad(QWidget *parent)
    : QDialog(parent)
    , MainWindowPxy(parent)
    , ui(new Ui_TabKeypad)
    , m_pQueue(&static_cast<MainDialog *>(parent)->deviceQueue())
{
    ui->setupUi(this);
    // Direct: a line from a pool thread joins the main window's queue at once, so that a burst of
    // lines reaches the GUI thread as a few slices of appends instead of one event per line.
    connect(this, &TabKeypad::showLog, this, &TabKeypad::onLog, Qt::DirectConnection);
}

// The queue is stopped by the main window, which owns it and goes before its pages.
TabKeypad::~TabKeypad()
{
    delete ui;
}

void TabKeypad::stopTests()
{
    m_pQueue->stop();
}

CTestGate &TabKeypad::testGate()
{
    return m_pQueue->gate();
}

// cppcheck-suppress passedByValue ; QString is implicitly shared; the slot's signature is fixed
void TabKeypad::onLog(QString str)
{
    static_cast<MainDialog *>(m_pMainWindow)->postLog(str);
}

// Open and close wait their turn like the tests: a test may be inside a call that lasts half a
// minute, and the window must keep answering meanwhile.
void TabKeypad::on_BtnOpenDevice_clicked()
{
    if (libraryFound())
        submit(QRunnable::create([this] { openDevice(); }));
}

void TabKeypad::on_BtnCloseDevice_clicked()
{
    if (libraryFound())
        submit(QRunnable::create([this] { closeDevice(); }));
}

void TabKeypad::on_BtnSendCard_clicked()
{
    if (libraryFound())
        submit(new CCardOperatorTask(this, kIssueOneCard));
}

void TabKeypad::on_BtnRecycleCard_clicked()
{
    if (libraryFound())
        submit(new CCardOperatorTask(this, kCaptureOneCard));
}

void TabKeypad::on_BtnSendCard10_clicked()
{
    if (libraryFound())
        submit(new CCardOperatorTask(this, kIssueTenCards));
}

// Each job holds the working folder's station lock while it calls the library, so that it never
// comes between the calls of a burn-in that another process (the command-line runner) drives on
// the same dispenser. A folder where no lock can be made at all keeps the page working as before:
// only a live holder refuses a press.
void TabKeypad::submit(QRunnable *job)
{
    const std::shared_ptr<QRunnable> owned(job);
    m_pQueue->submit(QRunnable::create([this, owned] {
        CStationLock lock(QDir::current().absoluteFilePath(QStringLiteral("results")));
        if (!lock.tryLock() && lock.heldByAnother()) {
            emit showLog(QStringLiteral(">>>") + lock.error());
            return;
        }
        owned->run();
    }));
}

// Every button tells the operator why it does nothing, and none may call an empty entry.
bool TabKeypad::libraryFound()
{
    if (m_pSdk->pOpenDevice)
        return true;
    log(">>not found sdk");
    return false;
}

void TabKeypad::log(const QString &line)
{
    static_cast<MainDialog *>(m_pMainWindow)->Log(line);
}

void TabKeypad::openDevice()
{
    int rc = 0;
    if (callDevice(DeviceCalls::open, rc))
        emit showLog(">>>打开设备：" + QString::number(rc));
}

void TabKeypad::closeDevice()
{
    int rc = 0;
    if (callDevice(DeviceCalls::close, rc))
        emit showLog(">>>关闭设备");
}

void TabKeypad::onRunType(int type)
{
    runTest(type);
}

void TabKeypad::runTest(int runType)
{
    switch (runType) {
    case kIssueOneCard:
        sendCard(1);
        break;
    case kCaptureOneCard:
        recycleCard(1);
        break;
    case kIssueTenCards:
        sendCard(kBatchCards);
        break;
    default:
        break;
    }
}

bool TabKeypad::callDevice(const DeviceCall &call, int &rc)
{
    return m_pQueue->gate().call([&] { rc = call(*m_pSdk); });
}

bool TabKeypad::report(const char *label, const DeviceCall &call, int &rc)
{
    if (!callDevice(call, rc))
        return false;
    emit showLog(label + QString::number(rc));
    return true;
}

bool TabKeypad::step(const char *label, const DeviceCall &call)
{
    int rc = 0;
    return report(label, call, rc) && rc == kOk;
}

int TabKeypad::getChannelStatus()
{
    int status = 0;
    queryChannelStatus(status);
    return status;
}

bool TabKeypad::queryChannelStatus(int &status)
{
    char reply[kReplyBufferSize] = {};
    int rc = 0;
    if (!callDevice([&reply](const ZOV_SDK &sdk) { return DeviceCalls::status(sdk, reply); }, rc))
        return false;
    status = readChannelStatus(rc, reply, sizeof reply, printStatusTrace);
    return true;
}

// Only a failure is logged: success shows in the steps that follow.
bool TabKeypad::openForTest()
{
    int rc = 0;
    if (!callDevice(DeviceCalls::open, rc))
        return false;
    if (rc != kOk)
        emit showLog(">>>打开设备：" + QString::number(rc));
    return rc == kOk;
}

void TabKeypad::sendCard(int n)
{
    emit showLog(">>>测试发卡 " + QString::number(n) + " 次");
    for (int remaining = n - 1; remaining >= 0; --remaining) {
        if (!issueCard())
            return;
        if (remaining > 0 && !waitForRemoval())
            return;
    }
    emit showLog(">>>发卡测试完成");
}

bool TabKeypad::issueCard()
{
    return dispenseCard() && readCard() && handOutCard();
}

bool TabKeypad::dispenseCard()
{
    if (!openForTest())
        return false;
    int status = 0;
    if (!queryChannelStatus(status))
        return false;
    if (status == kCardInChannel)
        return ejectLeftCard();

    int rc = 0;
    if (!report(">>>选卡发卡：", DeviceCalls::dispense, rc))
        return false;
    if (rc == kBoxEmpty)
        emit showLog(">>>卡箱内无卡，请放置好卡片后，再进行测试！！！");
    return rc == kOk;
}

// A card from an earlier run still stands in the channel: hand it out and end the run, whatever
// the eject's code, so that the operator clears the channel first.
bool TabKeypad::ejectLeftCard()
{
    int rc = 0;
    if (report(">>>吐卡给客户：", moveTo(kToFront), rc))
        emit showLog(">>>请取走卡片，再进行测试！！！");
    return false;
}

bool TabKeypad::readCard()
{
    if (!step(">>>移卡：", moveTo(kToReader)))
        return false;
    if (!step(">>>上电：", DeviceCalls::powerOn))
        return false;

    char reply[kReplyBufferSize] = {};
    const auto read = [&reply](const ZOV_SDK &sdk) { return DeviceCalls::readChip(sdk, reply); };
    if (!step(">>>读卡信息：", read))
        return false;
    emit showLog(">>>发卡卡号：" + QString::fromStdString(readCardNumber(reply, sizeof reply)));
    return true;
}

bool TabKeypad::handOutCard()
{
    // A failed power-off is shown as it is but does not keep the card from the customer.
    int rc = 0;
    if (!report(">>>下电：", DeviceCalls::powerOff, rc))
        return false;
    if (!step(">>>吐卡给客户：", moveTo(kToFront)))
        return false;
    emit showLog(">>>请取走您的卡片");
    return true;
}

// Returns false only when a stop request cut the wait short. A card not taken in time is left
// to the next card's channel check, which ejects it again and ends the run; a failed query counts
// as a card taken.
bool TabKeypad::waitForRemoval()
{
    const auto pause = [this](std::chrono::milliseconds duration) {
        return CSleeper::msleep(testGate(), static_cast<unsigned long>(duration.count()));
    };
    const auto poll = [this] {
        int nCardStatus = 0;
        if (!queryChannelStatus(nCardStatus))
            return RemovalWait::Poll::Refused;
        qDebug() << "nCardStatus = " << nCardStatus;
        if (nCardStatus > 0)
            return RemovalWait::Poll::Waiting;
        qDebug() << "getChannelStatus ret " << nCardStatus;
        return RemovalWait::Poll::Taken;
    };
    return RemovalWait::wait(pause, poll) != RemovalWait::Result::Cancelled;
}

void TabKeypad::recycleCard(int count)
{
    for (; count > 0; --count) {
        if (!captureCard())
            return;
    }
    emit showLog(">>>吞卡测试完成");
}

bool TabKeypad::captureCard()
{
    if (!openForTest())
        return false;
    int status = 0;
    if (!queryChannelStatus(status))
        return false;
    if (status > 0) {
        // Any positive status counts as a card; the capture's code never ends the run.
        int rc = 0;
        return report(">>>通道内有卡，直接吞卡。吞卡：", moveTo(kToCapture), rc);
    }
    emit showLog(">>>请在前端插入卡片:");
    return step(">>>前端进卡：", DeviceCalls::enter) && step(">>>吞卡：", moveTo(kToCapture));
}
