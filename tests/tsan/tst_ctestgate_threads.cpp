// SPDX-License-Identifier: MIT
// The card tests' concurrency core driven the way the page drives it, from plain std::thread and
// without Qt in the process, so that ThreadSanitizer sees every hand-off: built with
// -fsanitize=thread this must run without a single report, and no suppressions are allowed.
// The shared state below is deliberately plain (not atomic): only the gate keeps it consistent.
#include "device/ctestgate.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

int g_failures = 0;

void check(bool ok, const char *what, int line)
{
    if (!ok) {
        std::fprintf(stderr, "FAIL line %d: %s\n", line, what);
        ++g_failures;
    }
}
#define CHECK(condition) check((condition), #condition, __LINE__)

// The device library stand-in: plain counters that only calls under the gate's lock touch.
struct Device
{
    int calls = 0;
    int inside = 0;
    int overlaps = 0;
};

void deviceCall(Device &device)
{
    if (device.inside++ > 0)
        ++device.overlaps;
    std::this_thread::yield();
    ++device.calls;
    --device.inside;
}

int stepsOf(int test)
{
    return test % 3;
}

// Starts each admitted test on a thread of its own, as the pool does, and the next queued one
// when a test ends. The tests' own record is plain: the gate must keep two tests from running
// at once, or ThreadSanitizer sees them write it together.
class Page
{
public:
    explicit Page(CTestGate &gate, Device &device)
        : m_gate(gate)
        , m_device(device)
    { }

    ~Page() { joinAll(); }

    void submit(int test)
    {
        if (m_gate.admit(test) == CTestGate::Admission::Start)
            start(test);
    }

    void joinAll()
    {
        for (;;) {
            std::vector<std::thread> threads;
            {
                const std::lock_guard<std::mutex> lock(m_threadsMutex);
                threads.swap(m_threads);
            }
            if (threads.empty())
                return;
            for (std::thread &thread : threads)
                thread.join();
        }
    }

    // Read only once every thread was joined.
    std::vector<int> ran;
    int mostAtOnce = 0;
    int cutShort = 0;

private:
    void start(int test)
    {
        const std::lock_guard<std::mutex> lock(m_threadsMutex);
        m_threads.emplace_back([this, test] { run(test); });
    }

    void run(int test)
    {
        if (!m_gate.stopRequested()) {
            ++m_runningNow;
            mostAtOnce = std::max(mostAtOnce, m_runningNow);
            ran.push_back(test);
            // A test's steps: calls with waits between them, each of which a stop may cut short.
            // Some tests have none, so that presses keep arriving while tests end.
            for (int step = 0; step < stepsOf(test); ++step) {
                if (!m_gate.call([this] { deviceCall(m_device); }) || !m_gate.wait(1ms)) {
                    ++cutShort;
                    break;
                }
            }
            --m_runningNow;
        }
        if (const auto next = m_gate.finish())
            start(*next);
    }

    CTestGate &m_gate;
    Device &m_device;
    int m_runningNow = 0;
    std::mutex m_threadsMutex;
    std::vector<std::thread> m_threads;
};

// Several threads press test buttons while another opens and closes the device: every test runs
// once, in the order each thread asked for it, one at a time, and no two calls overlap.
void testsAndDirectCallsFromManyThreads()
{
    constexpr int kPressers = 3;
    constexpr int kPressesEach = 100;
    constexpr int kDirectCalls = 200;
    CTestGate gate;
    Device device;
    Page page(gate, device);

    std::vector<std::thread> threads;
    for (int presser = 0; presser < kPressers; ++presser) {
        threads.emplace_back([&page, presser] {
            for (int i = 0; i < kPressesEach; ++i) {
                page.submit(presser * 1000 + i);
                std::this_thread::yield();
            }
        });
    }
    int directCalls = 0;
    threads.emplace_back([&] {
        for (int i = 0; i < kDirectCalls; ++i)
            directCalls += gate.call([&device] { deviceCall(device); }) ? 1 : 0;
    });
    for (std::thread &thread : threads)
        thread.join();
    page.joinAll();

    CHECK(page.ran.size() == std::size_t(kPressers * kPressesEach));
    std::vector<int> next(kPressers, 0);
    for (const int test : page.ran)
        CHECK(test % 1000 == next[std::size_t(test / 1000)]++);
    CHECK(page.mostAtOnce == 1);
    CHECK(page.cutShort == 0);
    CHECK(directCalls == kDirectCalls);
    int testCalls = 0;
    for (const int test : page.ran)
        testCalls += stepsOf(test);
    CHECK(device.calls == kDirectCalls + testCalls);
    CHECK(device.overlaps == 0);
}

// The window closes while one test waits for the customer, another is inside a library call and
// more are queued: the wait ends at once, the call completes, nothing runs after, and the stop
// never waits for the call in progress.
void stopWhileTestsWaitAndCall()
{
    CTestGate gate;
    Device device;
    std::mutex mutex;
    std::condition_variable changed;
    int waiting = 0;
    bool callEntered = false;
    bool releaseCall = false;
    gate.setWaitScale([&](CTestGate::Duration requested) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            ++waiting;
        }
        changed.notify_all();
        return requested;
    });

    bool waitCompleted = true;
    std::thread waiter([&] { waitCompleted = gate.wait(1h); });
    bool callRan = false;
    std::thread caller([&] {
        callRan = gate.call([&] {
            std::unique_lock<std::mutex> lock(mutex);
            callEntered = true;
            changed.notify_all();
            changed.wait(lock, [&] { return releaseCall; });
            deviceCall(device);
        });
    });
    CHECK(gate.admit(1) == CTestGate::Admission::Start);
    CHECK(gate.admit(2) == CTestGate::Admission::Queued);
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return waiting == 1 && callEntered; });
    }

    gate.stop();
    waiter.join();
    {
        const std::lock_guard<std::mutex> lock(mutex);
        releaseCall = true;
    }
    changed.notify_all();
    caller.join();

    CHECK(!waitCompleted);
    CHECK(callRan);
    CHECK(device.calls == 1);
    CHECK(!gate.call([&device] { deviceCall(device); }));
    CHECK(device.calls == 1);
    CHECK(!gate.finish().has_value());
    CHECK(gate.admit(3) == CTestGate::Admission::Refused);
    CHECK(!gate.wait(1h));
}

// A stop from another thread at any moment of a busy page: every test thread ends, none runs a
// call after the stop was seen, and the page can be torn down.
void stopRacingBusyTests()
{
    CTestGate gate;
    Device device;
    {
        Page page(gate, device);
        std::thread presser([&page] {
            for (int i = 0; i < 200; ++i)
                page.submit(i);
        });
        std::thread closer([&gate] { gate.stop(); });
        presser.join();
        closer.join();
        page.joinAll();
        CHECK(page.mostAtOnce <= 1);
    }
    const int calls = device.calls;
    CHECK(!gate.call([&device] { deviceCall(device); }));
    CHECK(device.calls == calls);
    CHECK(device.overlaps == 0);
}

} // namespace

int main()
{
    testsAndDirectCallsFromManyThreads();
    stopWhileTestsWaitAndCall();
    stopRacingBusyTests();
    std::printf("%s\n", g_failures == 0 ? "3 passed, 0 failed" : "failed");
    return g_failures == 0 ? 0 : 1;
}
