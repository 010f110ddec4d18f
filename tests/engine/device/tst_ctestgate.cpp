// SPDX-License-Identifier: MIT
#include "engine/device/ctestgate.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Tells when a thread has reached a wait: the scale runs right before the gate waits.
class WaitWatch
{
public:
    CTestGate::WaitScale scale()
    {
        return [this](CTestGate::Duration requested) {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_waiting = true;
            }
            m_changed.notify_all();
            return requested;
        };
    }

    bool waitUntilWaiting()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [this] { return m_waiting; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_waiting = false;
};

} // namespace

class tst_CTestGate : public QObject
{
    Q_OBJECT

private slots:
    void waitLastsAsAsked();
    void waitScaleSeesTheRequestedDurations();
    void aWaitIsCutShort_data();
    void aWaitIsCutShort();
    void waitAfterStopEndsAtOnce();
    void callsNeverOverlap();
    void callRefusedAfterStop();
};

void tst_CTestGate::waitLastsAsAsked()
{
    CTestGate gate;
    const auto started = std::chrono::steady_clock::now();
    QVERIFY(gate.wait(20ms));
    QVERIFY(std::chrono::steady_clock::now() - started >= 20ms);
}

void tst_CTestGate::waitScaleSeesTheRequestedDurations()
{
    CTestGate gate;
    std::vector<CTestGate::Duration> requested;
    gate.setWaitScale([&requested](CTestGate::Duration duration) {
        requested.push_back(duration);
        return 0ms;
    });
    QVERIFY(gate.wait(3s));
    QVERIFY(gate.wait(500ms));
    QCOMPARE(requested, (std::vector<CTestGate::Duration> {3000ms, 500ms}));
}

void tst_CTestGate::aWaitIsCutShort_data()
{
    QTest::addColumn<bool>("byStop");

    QTest::newRow("by a stop") << true;
    // A burn-in run's own stop button: the gate stays open for the jobs after it.
    QTest::newRow("by its cancel flag") << false;
}

void tst_CTestGate::aWaitIsCutShort()
{
    QFETCH(bool, byStop);

    CTestGate gate;
    WaitWatch watch;
    gate.setWaitScale(watch.scale());
    std::atomic<bool> cancel {false};
    std::atomic<bool> completed {true};
    std::thread waiter([&] { completed = gate.wait(60s, cancel); });
    QVERIFY(watch.waitUntilWaiting());

    const auto cut = std::chrono::steady_clock::now();
    if (byStop) {
        gate.stop();
    } else {
        cancel = true;
        gate.wakeWaiters();
    }
    waiter.join();
    QVERIFY(!completed);
    // Far less than the wait asked for: the stop or the flag, not the clock, ended it.
    QVERIFY(std::chrono::steady_clock::now() - cut < 10s);
    QCOMPARE(gate.stopRequested(), byStop);
}

void tst_CTestGate::waitAfterStopEndsAtOnce()
{
    CTestGate gate;
    gate.stop();
    QVERIFY(!gate.wait(60s));
}

void tst_CTestGate::callsNeverOverlap()
{
    constexpr int kThreads = 4;
    constexpr int kCallsEach = 500;
    CTestGate gate;
    std::atomic<int> inside {0};
    std::atomic<int> overlaps {0};
    int calls = 0; // written only under the call lock
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kCallsEach; ++i) {
                gate.call([&] {
                    if (inside.fetch_add(1) > 0)
                        ++overlaps;
                    std::this_thread::yield();
                    ++calls;
                    --inside;
                });
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(overlaps.load(), 0);
    QCOMPARE(calls, kThreads * kCallsEach);
}

void tst_CTestGate::callRefusedAfterStop()
{
    CTestGate gate;
    int calls = 0;
    QVERIFY(gate.call([&calls] { ++calls; }));
    gate.stop();
    QVERIFY(!gate.call([&calls] { ++calls; }));
    QCOMPARE(calls, 1);
}

QTEST_APPLESS_MAIN(tst_CTestGate)
#include "tst_ctestgate.moc"
