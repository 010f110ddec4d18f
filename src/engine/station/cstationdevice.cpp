// SPDX-License-Identifier: MIT
#include "engine/station/cstationdevice.h"

#include "engine/device/cdevicequeue.h"
#include "engine/device/zov_sdk.h"

#include <utility>

CStationDevice::~CStationDevice() = default;

CInProcessDevice::CInProcessDevice(CDeviceQueue &queue)
    : m_queue(&queue)
{ }

CInProcessDevice::CInProcessDevice(const QString &libraryPath)
    : m_ownSdk(std::make_unique<ZOV_SDK>())
{
    m_ownSdk->Init(libraryPath.toLocal8Bit().constData());
    m_ownQueue = std::make_unique<CDeviceQueue>(*m_ownSdk);
    m_queue = m_ownQueue.get();
}

CInProcessDevice::~CInProcessDevice()
{
    m_ownQueue.reset();
}

bool CInProcessDevice::isLoaded() const
{
    return m_queue->sdk().pOpenDevice != nullptr;
}

QString CInProcessDevice::libraryPath() const
{
    return QString::fromStdString(m_queue->sdk().path());
}

bool CInProcessDevice::run(
    CBurnInJob::Plan plan, CBurnInJob::LogLine log, std::shared_ptr<CBurnInProgress> progress)
{
    return m_queue->submit(new CBurnInJob(
        m_queue->sdk(), m_queue->gate(), std::move(plan), std::move(log), std::move(progress)));
}

void CInProcessDevice::wakeWaiters()
{
    m_queue->gate().wakeWaiters();
}

void CInProcessDevice::abort()
{
    m_queue->gate().stop();
}
