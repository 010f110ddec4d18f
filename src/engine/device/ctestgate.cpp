// SPDX-License-Identifier: MIT
#include "engine/device/ctestgate.h"

#include <utility>

void CTestGate::stop()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = true;
    }
    m_stopSignal.notify_all();
}

bool CTestGate::stopRequested() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopRequested;
}

bool CTestGate::wait(Duration duration)
{
    static const std::atomic<bool> never {false};
    return wait(duration, never);
}

bool CTestGate::wait(Duration duration, const std::atomic<bool> &cancel)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // The scale belongs to the caller's code: it runs without the gate's lock.
    if (const WaitScale scale = m_waitScale) {
        lock.unlock();
        duration = scale(duration);
        lock.lock();
    }
    return !m_stopSignal.wait_for(
        lock, duration, [this, &cancel] { return m_stopRequested || cancel.load(); });
}

// Taking the lock orders the wake-up after the waiter's last look at the flag, so that it is
// not lost between that look and the wait.
void CTestGate::wakeWaiters()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
    }
    m_stopSignal.notify_all();
}

void CTestGate::setWaitScale(WaitScale scale)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_waitScale = std::move(scale);
}
