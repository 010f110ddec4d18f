// SPDX-License-Identifier: MIT
#pragma once

#include "device/ctestgate.h"

#include <QRunnable>

#include <map>
#include <memory>
#include <mutex>

class ZOV_SDK;

// The one path to the device that every page shares, owned by the main window: jobs run one at
// a time on the global thread pool in the order they were submitted, and every library call goes
// through the gate's lock. The GUI thread only submits, so it never waits for the device.
// submit() and stop() belong to the GUI thread; the rest may be called from any thread.
class CDeviceQueue
{
public:
    explicit CDeviceQueue(const ZOV_SDK &sdk);
    // Stops, so that no job outlives the loader it calls through.
    ~CDeviceQueue();

    CDeviceQueue(const CDeviceQueue &) = delete;
    CDeviceQueue &operator=(const CDeviceQueue &) = delete;

    // Takes the job and runs it once every job submitted before it has ended. Returns false, and
    // drops the job, once stop() was called.
    bool submit(QRunnable *job);
    // Drops the queued jobs, makes the running one end at its next library call or wait, and
    // returns once no job runs any more. Nothing is admitted afterwards.
    void stop();

    const ZOV_SDK &sdk() const { return m_sdk; }
    CTestGate &gate() { return m_gate; }

private:
    void start(int ticket);
    void run(int ticket);

    const ZOV_SDK &m_sdk; // not owned: the main window's loader, which outlives the queue
    CTestGate m_gate;

    // Jobs by ticket, from submit() until they run; the gate keeps the order of the tickets.
    std::mutex m_jobsMutex;
    std::map<int, std::unique_ptr<QRunnable>> m_jobs;
    int m_nextTicket = 0;
};
