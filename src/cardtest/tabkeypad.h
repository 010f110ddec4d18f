// SPDX-License-Identifier: MIT
#pragma once

#include "cardtest/ccardtaskcallback.h"
#include "cardtest/ctestgate.h"
#include "shell/mainwindowpxy.h"

#include <QDialog>
#include <QString>

#include <functional>

class Ui_TabKeypad;
class ZOV_SDK;

// The card test page. Open and close run on the GUI thread; the three tests run one at a time on
// the global thread pool and report only through showLog, which the page turns into log pane lines
// on the GUI thread. Every device call, from either thread, goes through m_gate.
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

    // GUI thread only: they write to the log pane directly.
    void openDevice();
    void closeDevice();

    void onRunType(int type) override;
    // Drops queued tests and stops the running one; returns once none runs any more.
    void stopTests();

    // Lets tests scale the waits of the card issue test.
    CTestGate &testGate() { return m_gate; }

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

    bool libraryFound();
    void log(const QString &line);
    void submitTest(int runType);
    void startTask(int runType);
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
    CTestGate m_gate;
};
