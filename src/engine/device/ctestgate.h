// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// What every device library call and every wait of a device job goes through: one lock around
// each call, because nothing promises that the library copes with two callers at once, and a
// stop request that refuses every further call and cuts waits short, so that the window can
// close while a job runs. A call in progress completes, and the stop does not wait for it: the
// device queue, which runs the jobs that call, waits for its job instead. Plain standard C++ so
// that it can be checked from std::thread under ThreadSanitizer, which cannot see into an
// uninstrumented Qt. Every member may be called from any thread.
class CTestGate
{
public:
    using Duration = std::chrono::milliseconds;
    // Turns a requested wait into the time really waited. Tests use it to record the waits a job
    // asks for without spending them; by default a wait lasts as long as it was asked to.
    using WaitScale = std::function<Duration(Duration requested)>;

    void stop();
    bool stopRequested() const;

    // Runs one library call under the call lock. Returns false, without calling, once a stop was
    // requested: a job then ends at its next step.
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
    // Set it before any job runs.
    void setWaitScale(WaitScale scale);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_stopSignal;
    WaitScale m_waitScale;
    bool m_stopRequested = false;

    // Held for the whole of a library call; never taken while m_mutex is held.
    std::mutex m_callMutex;
};
