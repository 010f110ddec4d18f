// SPDX-License-Identifier: MIT
#include "device/ctestgate.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Drives a gate the way the card test page does, with a std::thread per started test: a test
// records itself, then hands over to the next queued one when it ends.
class Runner
{
public:
    explicit Runner(CTestGate &gate)
        : m_gate(gate)
    { }

    // A test that ends may still start the next one while the threads are joined.
    ~Runner()
    {
        for (;;) {
            std::vector<std::thread> threads;
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                threads.swap(m_threads);
            }
            if (threads.empty())
                return;
            for (std::thread &thread : threads)
                thread.join();
        }
    }

    void submit(int test)
    {
        if (m_gate.admit(test) == CTestGate::Admission::Start)
            start(test);
    }

    // Waits until count tests have run, or at most timeout.
    bool waitForRuns(std::size_t count, std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_ran.size() >= count; });
    }

    std::vector<int> ran()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_ran;
    }

    int mostAtOnce() const { return m_mostAtOnce; }

private:
    void start(int test)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_threads.emplace_back([this, test] { run(test); });
    }

    void run(int test)
    {
        const int running = ++m_running;
        int most = m_mostAtOnce;
        while (running > most && !m_mostAtOnce.compare_exchange_weak(most, running)) { }
        std::this_thread::yield();
        --m_running;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_ran.push_back(test);
        }
        m_changed.notify_all();
        if (const std::optional<int> next = m_gate.finish())
            start(*next);
    }

    CTestGate &m_gate;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::thread> m_threads;
    std::vector<int> m_ran;
    std::atomic<int> m_running {0};
    std::atomic<int> m_mostAtOnce {0};
};

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
    void firstTestStartsLaterOnesQueue();
    void queuedTestsRunInOrderOneAtATime();
    void testsFromSeveralThreadsAllRunInTheirOrder();
    void stopDropsQueuedAndRefusesNewTests();
    void waitLastsAsAsked();
    void waitScaleSeesTheRequestedDurations();
    void stopCutsAWaitShort();
    void waitAfterStopEndsAtOnce();
    void callsNeverOverlap();
    void callRefusedAfterStop();
};

void tst_CTestGate::firstTestStartsLaterOnesQueue()
{
    CTestGate gate;
    QCOMPARE(gate.admit(1), CTestGate::Admission::Start);
    QCOMPARE(gate.admit(2), CTestGate::Admission::Queued);
    QCOMPARE(gate.admit(3), CTestGate::Admission::Queued);
    QCOMPARE(gate.finish(), std::optional<int>(2));
    QCOMPARE(gate.finish(), std::optional<int>(3));
    QCOMPARE(gate.finish(), std::optional<int>());
    QCOMPARE(gate.admit(4), CTestGate::Admission::Start);
}

void tst_CTestGate::queuedTestsRunInOrderOneAtATime()
{
    constexpr int kTests = 50;
    CTestGate gate;
    std::vector<int> expected;
    {
        Runner runner(gate);
        for (int test = 0; test < kTests; ++test) {
            runner.submit(test);
            expected.push_back(test);
        }
        QVERIFY(runner.waitForRuns(kTests, 10s));
        QCOMPARE(runner.ran(), expected);
        QCOMPARE(runner.mostAtOnce(), 1);
    }
    QCOMPARE(gate.admit(kTests), CTestGate::Admission::Start);
}

void tst_CTestGate::testsFromSeveralThreadsAllRunInTheirOrder()
{
    constexpr int kSubmitters = 4;
    constexpr int kTestsEach = 25;
    CTestGate gate;
    Runner runner(gate);
    std::vector<std::thread> submitters;
    for (int s = 0; s < kSubmitters; ++s) {
        submitters.emplace_back([&runner, s] {
            for (int i = 0; i < kTestsEach; ++i)
                runner.submit(s * 1000 + i);
        });
    }
    for (std::thread &thread : submitters)
        thread.join();
    QVERIFY(runner.waitForRuns(kSubmitters * kTestsEach, 10s));

    const std::vector<int> ran = runner.ran();
    QCOMPARE(int(ran.size()), kSubmitters * kTestsEach);
    std::vector<int> next(kSubmitters, 0);
    for (int test : ran)
        QCOMPARE(test % 1000, next[test / 1000]++);
    QCOMPARE(runner.mostAtOnce(), 1);
}

void tst_CTestGate::stopDropsQueuedAndRefusesNewTests()
{
    CTestGate gate;
    QCOMPARE(gate.admit(1), CTestGate::Admission::Start);
    QCOMPARE(gate.admit(2), CTestGate::Admission::Queued);
    QVERIFY(!gate.stopRequested());
    gate.stop();
    QVERIFY(gate.stopRequested());
    QCOMPARE(gate.finish(), std::optional<int>());
    QCOMPARE(gate.admit(3), CTestGate::Admission::Refused);
}

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

void tst_CTestGate::stopCutsAWaitShort()
{
    CTestGate gate;
    WaitWatch watch;
    gate.setWaitScale(watch.scale());
    std::atomic<bool> completed {true};
    std::thread waiter([&] { completed = gate.wait(60s); });
    QVERIFY(watch.waitUntilWaiting());

    const auto stopped = std::chrono::steady_clock::now();
    gate.stop();
    waiter.join();
    QVERIFY(!completed);
    // Far less than the wait asked for: the stop, not the clock, ended it.
    QVERIFY(std::chrono::steady_clock::now() - stopped < 10s);
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
