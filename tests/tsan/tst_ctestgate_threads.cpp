// SPDX-License-Identifier: MIT
// The device jobs' gate driven from plain std::thread, without Qt in the process, so that
// ThreadSanitizer sees every hand-off: built with -fsanitize=thread this must run without a single
// report, and no suppressions are allowed. The shared state below is deliberately plain (not
// atomic): only the gate's call lock keeps it consistent.
#include "engine/device/ctestgate.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iterator>
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

// A job's steps: library calls with a wait after each, either of which a stop may cut short.
// Returns whether every step ran.
bool runSteps(CTestGate &gate, Device &device, int steps)
{
    for (int step = 0; step < steps; ++step) {
        if (!gate.call([&device] { deviceCall(device); }) || !gate.wait(1ms))
            return false;
    }
    return true;
}

// Threads that call and wait and one that only calls, all at once: every call runs, and no two
// overlap. The device queue runs one job at a time, but the call lock does not rely on it.
void callsFromManyThreads()
{
    constexpr int kJobs = 3;
    constexpr int kStepsEach = 100;
    constexpr int kDirectCalls = 200;
    CTestGate gate;
    Device device;
    bool completed[kJobs] = {};
    std::vector<std::thread> threads;
    for (int job = 0; job < kJobs; ++job) {
        threads.emplace_back([&, job] { completed[job] = runSteps(gate, device, kStepsEach); });
    }
    int directCalls = 0;
    threads.emplace_back([&] {
        for (int i = 0; i < kDirectCalls; ++i)
            directCalls += gate.call([&device] { deviceCall(device); }) ? 1 : 0;
    });
    for (std::thread &thread : threads)
        thread.join();

    CHECK(std::all_of(std::begin(completed), std::end(completed), [](bool ok) { return ok; }));
    CHECK(directCalls == kDirectCalls);
    CHECK(device.calls == kDirectCalls + kJobs * kStepsEach);
    CHECK(device.overlaps == 0);
}

// A burn-in run's own stop: its cancel flag ends the waits of its job, before or during them,
// and leaves the gate open for the jobs after it.
void cancelEndsWaits()
{
    constexpr int kWaiters = 3;
    CTestGate gate;
    Device device;
    std::atomic<bool> cancel {false};
    bool completed[kWaiters] = {true, true, true};
    std::vector<std::thread> waiters;
    for (int waiter = 0; waiter < kWaiters; ++waiter)
        waiters.emplace_back([&, waiter] { completed[waiter] = gate.wait(1h, cancel); });
    cancel = true;
    gate.wakeWaiters();
    for (std::thread &thread : waiters)
        thread.join();

    CHECK(std::none_of(std::begin(completed), std::end(completed), [](bool ok) { return ok; }));
    CHECK(!gate.stopRequested());
    CHECK(gate.call([&device] { deviceCall(device); }));
    CHECK(device.calls == 1);
}

// The window closes while one job waits for the customer and another is inside a library call:
// the wait ends at once, the call completes, and the stop never waits for the call in progress
// (the device queue waits for its job instead).
void stopWhileJobsWaitAndCall()
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
    CHECK(!gate.wait(1h));
}

// A stop from another thread at any moment of busy jobs: every job ends at its next step, and no
// call is admitted afterwards.
void stopRacingBusyJobs()
{
    constexpr int kJobs = 3;
    CTestGate gate;
    Device device;
    std::vector<std::thread> threads;
    for (int job = 0; job < kJobs; ++job)
        threads.emplace_back([&] { runSteps(gate, device, 1000); });
    threads.emplace_back([&gate] { gate.stop(); });
    for (std::thread &thread : threads)
        thread.join();

    const int calls = device.calls;
    CHECK(!gate.call([&device] { deviceCall(device); }));
    CHECK(device.calls == calls);
    CHECK(device.overlaps == 0);
}

} // namespace

int main()
{
    callsFromManyThreads();
    cancelEndsWaits();
    stopWhileJobsWaitAndCall();
    stopRacingBusyJobs();
    std::printf("%s\n", g_failures == 0 ? "4 passed, 0 failed" : "failed");
    return g_failures == 0 ? 0 : 1;
}
