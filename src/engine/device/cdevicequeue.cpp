// SPDX-License-Identifier: MIT
#include "engine/device/cdevicequeue.h"

#include <QThreadPool>

#include <utility>

namespace {
constexpr int kJobPriority = 0;
} // namespace

CDeviceQueue::CDeviceQueue(const ZOV_SDK &sdk)
    : m_sdk(sdk)
{ }

CDeviceQueue::~CDeviceQueue()
{
    stop();
}

bool CDeviceQueue::submit(QRunnable *job)
{
    std::unique_ptr<QRunnable> owned(job);
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_gate.stopRequested())
        return false;
    if (m_running) {
        m_queued.push_back(std::move(owned));
        return true;
    }
    m_running = true;
    startNext(std::move(owned));
    return true;
}

void CDeviceQueue::stop()
{
    m_gate.stop();
    std::deque<std::unique_ptr<QRunnable>> dropped;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        dropped.swap(m_queued);
        m_idle.wait(lock, [this] { return !m_running; });
    }
    // A job's destructor is the caller's code: it runs without the queue's lock.
    dropped.clear();
}

// Called with m_mutex held. A queued job gets its pool thread only when its turn comes, so no
// job ever sits on a pool thread waiting while the job whose turn it is waits for a free thread.
void CDeviceQueue::startNext(std::unique_ptr<QRunnable> job)
{
    m_next = std::move(job);
    QThreadPool::globalInstance()->start([this] { runNext(); }, kJobPriority);
}

void CDeviceQueue::runNext()
{
    std::unique_ptr<QRunnable> job;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        job = std::move(m_next);
    }
    if (!m_gate.stopRequested())
        job->run();
    // Gone before stop() can return: a job may refer to the page that submitted it.
    job.reset();

    const std::lock_guard<std::mutex> lock(m_mutex);
    // After a stop the queued jobs stay for stop() to drop.
    if (m_queued.empty() || m_gate.stopRequested()) {
        m_running = false;
        // Under the lock: once stop() sees the flag it may destroy the queue, and this thread
        // must not touch it after that.
        m_idle.notify_all();
        return;
    }
    std::unique_ptr<QRunnable> next = std::move(m_queued.front());
    m_queued.pop_front();
    startNext(std::move(next));
}
