// SPDX-License-Identifier: MIT
#include "device/cdevicequeue.h"

#include <QThreadPool>

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
    std::unique_lock<std::mutex> lock(m_jobsMutex);
    const int ticket = m_nextTicket++;
    m_jobs.emplace(ticket, job);
    lock.unlock();

    switch (m_gate.admit(ticket)) {
    case CTestGate::Admission::Start:
        start(ticket);
        return true;
    case CTestGate::Admission::Queued:
        return true;
    case CTestGate::Admission::Refused:
        break;
    }
    lock.lock();
    m_jobs.erase(ticket);
    return false;
}

void CDeviceQueue::stop()
{
    m_gate.stop();
    QThreadPool::globalInstance()->waitForDone();
    const std::lock_guard<std::mutex> lock(m_jobsMutex);
    m_jobs.clear();
}

// A queued job gets its pool thread only when its turn comes, so no job ever sits on a pool
// thread waiting while the job whose turn it is waits for a free thread.
void CDeviceQueue::start(int ticket)
{
    QThreadPool::globalInstance()->start([this, ticket] { run(ticket); }, kJobPriority);
}

void CDeviceQueue::run(int ticket)
{
    std::unique_ptr<QRunnable> job;
    {
        const std::lock_guard<std::mutex> lock(m_jobsMutex);
        const auto found = m_jobs.find(ticket);
        if (found != m_jobs.end()) {
            job = std::move(found->second);
            m_jobs.erase(found);
        }
    }
    if (job && !m_gate.stopRequested())
        job->run();
    if (const auto next = m_gate.finish())
        start(*next);
}
