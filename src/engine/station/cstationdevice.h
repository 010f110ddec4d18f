// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninjob.h"

#include <QString>

#include <memory>

class CBurnInProgress;
class CDeviceQueue;
class ZOV_SDK;

// How a station's burn-in reaches the dispenser. A run asks for nothing more than this, so the
// device may be called in this process or in another without anything above it changing.
class CStationDevice
{
public:
    virtual ~CStationDevice();

    // Whether the device library could be loaded; a run is not started without it.
    virtual bool isLoaded() const = 0;
    // The loaded library's path, for the run's record.
    virtual QString libraryPath() const = 0;
    // Runs the burn-in once every job queued before it has ended. False, with nothing run, once
    // the device is stopping.
    virtual bool run(
        CBurnInJob::Plan plan, CBurnInJob::LogLine log, std::shared_ptr<CBurnInProgress> progress)
        = 0;
    // A run that waits (for the customer, for a card) looks at its stop request at once.
    virtual void wakeWaiters() = 0;
    // The run ends at its next library call or wait; the cards that finished are recorded.
    virtual void abort() = 0;
};

// The device library loaded in this process, over a device queue: the window's, which its card
// test page shares, so that the two never use the device at once; or a loader and queue of its
// own, loaded from a path.
class CInProcessDevice final : public CStationDevice
{
public:
    // Not owned: the window's queue, which outlives the device.
    explicit CInProcessDevice(CDeviceQueue &queue);
    // Loads the library; isLoaded() tells whether it could.
    explicit CInProcessDevice(const QString &libraryPath);
    // Stops its own queue first, so that no job outlives the loader.
    ~CInProcessDevice() override;

    CInProcessDevice(const CInProcessDevice &) = delete;
    CInProcessDevice &operator=(const CInProcessDevice &) = delete;

    bool isLoaded() const override;
    QString libraryPath() const override;
    bool run(CBurnInJob::Plan plan, CBurnInJob::LogLine log,
        std::shared_ptr<CBurnInProgress> progress) override;
    void wakeWaiters() override;
    void abort() override;

private:
    std::unique_ptr<ZOV_SDK> m_ownSdk;
    std::unique_ptr<CDeviceQueue> m_ownQueue;
    CDeviceQueue *m_queue;
};
