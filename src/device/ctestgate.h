// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

// The concurrency core of the device tests: one test at a time, later ones queued in the order they
// were asked for (a test is any number the caller gives it); one lock around every device library
// call, because nothing promises that the library copes with two callers at once; and a stop
// request that drops the queue, refuses every further call and cuts waits short, so that the window
// can close while a test runs. Plain standard C++ so that it can be checked from std::thread under
// ThreadSanitizer, which cannot see into an uninstrumented Qt. Every member may be called from any
// thread.
class CTestGate
{
public:
    using Duration = std::chrono::milliseconds;
    // Turns a requested wait into the time really waited. Tests use it to record the waits a test
    // asks for without spending them; by default a wait lasts as long as it was asked to.
    using WaitScale = std::function<Duration(Duration requested)>;

    enum class Admission { Start, Queued, Refused };

    // Asks for a test to run. Start: nothing runs, the caller starts it now. Queued: it will come
    // back from finish() once the tests before it have ended. Refused: a stop was requested.
    Admission admit(int test);
    // The running test has ended. Returns the next queued test, which the caller must start and
    // which counts as running from now on, or nothing when the queue is empty or stopped.
    std::optional<int> finish();

    void stop();
    bool stopRequested() const;

    // Runs one library call under the call lock. Returns false, without calling, once a stop was
    // requested: a test then ends at its next step.
    template<typename Call> bool call(Call &&deviceCall)
    {
        const std::lock_guard<std::mutex> lock(m_callMutex);
        if (stopRequested())
            return false;
        deviceCall();
        return true;
    }

    // Waits for the given time; returns false when a stop cut the wait short or came before it.
    bool wait(Duration duration);
    // The same, and also cut short once cancel is true. Whoever sets it calls wakeWaiters().
    bool wait(Duration duration, const std::atomic<bool> &cancel);
    void wakeWaiters();
    // Set it before any test runs.
    void setWaitScale(WaitScale scale);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_stopSignal;
    std::deque<int> m_queue;
    WaitScale m_waitScale;
    bool m_running = false;
    bool m_stopRequested = false;

    // Held for the whole of a library call; never taken while m_mutex is held.
    std::mutex m_callMutex;
};
