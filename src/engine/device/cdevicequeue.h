// SPDX-License-Identifier: MIT
#pragma once

#include "engine/device/ctestgate.h"

#include <QRunnable>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

class ZOV_SDK;

// The one path to the device that every page shares, owned by the main window: jobs run one at
// a time on the global thread pool in the order they were submitted, and every library call goes
// through the gate's lock. Whoever submits never waits for the device. Every member may be
// called from any thread, but stop() not from a job, which it would wait for.
class CDeviceQueue
{
public:
    explicit CDeviceQueue(const ZOV_SDK &sdk);
    // Stops, so that no job outlives the loader it calls through.
    ~CDeviceQueue();

    CDeviceQueue(const CDeviceQueue &) = delete;
    CDeviceQueue &operator=(const CDeviceQueue &) = delete;

    // Takes the job and runs it once every job submitted before it has ended. Returns false, and
    // drops the job, once a stop was requested.
    bool submit(QRunnable *job);
    // Drops the queued jobs, makes the running one end at its next library call or wait, and
    // returns once it has ended; other work on the global pool is not waited for. Nothing is
    // admitted afterwards.
    void stop();

    const ZOV_SDK &sdk() const { return m_sdk; }
    CTestGate &gate() { return m_gate; }

private:
    void startNext(std::unique_ptr<QRunnable> job);
    void runNext();

    const ZOV_SDK &m_sdk; // not owned: the main window's loader, which outlives the queue
    CTestGate m_gate;

    std::mutex m_mutex;
    std::condition_variable m_idle;
    // From startNext() until its pool thread takes it.
    std::unique_ptr<QRunnable> m_next;
    std::deque<std::unique_ptr<QRunnable>> m_queued;
    // A job was started and has not ended yet: stop() waits for this to clear.
    bool m_running = false;
};
