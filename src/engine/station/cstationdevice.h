// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninjob.h"
#include "engine/device/zov_sdk.h"

#include <QString>

#include <memory>
#include <mutex>

class CBurnInProgress;
class CDeviceQueue;
class CDriverHost;

// How a station's burn-in reaches the dispenser. A run asks for nothing more than this.
class CStationDevice
{
public:
    virtual ~CStationDevice();

    // Whether the device library could be loaded; a run is not started without it.
    virtual bool isLoaded() const = 0;
    // The library's path, for the run's record.
    virtual QString libraryPath() const = 0;
    // Runs the burn-in once every job queued before it has ended. False, with nothing run, once
    // the device is stopping.
    virtual bool run(
        CBurnInJob::Plan plan, CBurnInJob::LogLine log, std::shared_ptr<CBurnInProgress> progress)
        = 0;
    // A run that waits (for the customer, for a card) looks at its stop request at once.
    virtual void wakeWaiters() = 0;
    // The run ends at once: the call under way is cut off and the card in hand is not
    // recorded; the cards that finished are.
    virtual void abort() = 0;
};

// The device library in a driver host that each run starts (CDriverHost), queued on a device
// queue: the window's, which its card test page shares, so that the two never use the device at
// once and the window's own copy of the library is closed before the host opens the device; or a
// queue of its own.
class CHostDevice final : public CStationDevice
{
public:
    // Not owned: the window's queue, which outlives the device. The window's library tells
    // whether one is there.
    explicit CHostDevice(CDeviceQueue &queue);
    // A queue of its own; a host is started now to tell whether the library loads, and serves
    // the first run.
    explicit CHostDevice(QString libraryPath);
    // Stops its own queue first, so that no job outlives the device.
    ~CHostDevice() override;

    CHostDevice(const CHostDevice &) = delete;
    CHostDevice &operator=(const CHostDevice &) = delete;

    bool isLoaded() const override;
    QString libraryPath() const override;
    bool run(CBurnInJob::Plan plan, CBurnInJob::LogLine log,
        std::shared_ptr<CBurnInProgress> progress) override;
    void wakeWaiters() override;
    void abort() override;

    // card-dispenser-devicehost beside the running program, else where the build put it, else
    // where the package installs it.
    static QString hostProgram();
    // Why the library did not load in its own queue's first host.
    QString loadError() const { return m_loadError; }

private:
    void runOnHost(CBurnInJob &job, CDriverHost &host);
    std::unique_ptr<CDriverHost> takeHost(std::chrono::milliseconds grace);

    const QString m_libraryPath;
    ZOV_SDK m_noLibrary; // its own queue's: the library is loaded by the hosts alone
    std::unique_ptr<CDeviceQueue> m_ownQueue;
    CDeviceQueue *m_queue;
    bool m_loaded = false;
    QString m_loadError;

    std::unique_ptr<CDriverHost> m_firstHost; // started by the constructor, until a run takes it
    std::mutex m_hostMutex;
    CDriverHost *m_host = nullptr; // the running job's, while it runs
    bool m_aborted = false; // until the next run
};
