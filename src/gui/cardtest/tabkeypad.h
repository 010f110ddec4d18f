// SPDX-License-Identifier: MIT
#pragma once

#include "engine/device/ctestgate.h"
#include "gui/cardtest/ccardtaskcallback.h"
#include "gui/shell/mainwindowpxy.h"

#include <QDialog>
#include <QRunnable>
#include <QString>

#include <functional>

class CDeviceQueue;
class Ui_TabKeypad;
class ZOV_SDK;

// The card test page. Open, close and the three tests are jobs of the main window's device queue:
// they run one at a time on the global thread pool, in the order pressed, behind whatever another
// page runs, and report only through showLog, which the page turns into log pane lines on the GUI
// thread. The GUI thread itself never calls the library.
class TabKeypad : public QDialog, public MainWindowPxy, public CCardTaskCallback
{
    Q_OBJECT

public:
    explicit TabKeypad(QWidget *parent);
    ~TabKeypad() override;

    // The tests; they run on the calling thread and emit showLog for every step.
    void sendCard(int n);
    void recycleCard(int count);
    int getChannelStatus();

    // Run on the calling thread, as the tests do.
    void openDevice();
    void closeDevice();

    void onRunType(int type) override;
    // Drops queued jobs and stops the running one; returns once none runs any more. This stops
    // the device queue that every page shares: the main window calls it when it goes.
    void stopTests();

    // Lets tests scale the waits of the card issue test.
    CTestGate &testGate();

signals:
    void showLog(QString str);

private slots:
    void onLog(QString str);
    void on_BtnOpenDevice_clicked();
    void on_BtnCloseDevice_clicked();
    void on_BtnSendCard_clicked();
    void on_BtnRecycleCard_clicked();
    void on_BtnSendCard10_clicked();

private:
    using DeviceCall = std::function<int(const ZOV_SDK &sdk)>;

    // Takes the job, a QRunnable's run() being all it needs of it.
    void submit(QRunnable *job);
    bool libraryFound();
    void log(const QString &line);
    void runTest(int runType);

    // The steps return false when the test must end there: a failure, or a stop request.
    bool callDevice(const DeviceCall &call, int &rc);
    bool report(const char *label, const DeviceCall &call, int &rc);
    bool step(const char *label, const DeviceCall &call);
    bool queryChannelStatus(int &status);
    bool openForTest();

    bool issueCard();
    bool dispenseCard();
    bool ejectLeftCard();
    bool readCard();
    bool handOutCard();
    bool waitForRemoval();
    bool captureCard();

    Ui_TabKeypad *ui;
    CDeviceQueue *m_pQueue; // not owned: the main window's, shared with its other pages
};
