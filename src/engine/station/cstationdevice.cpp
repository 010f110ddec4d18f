// SPDX-License-Identifier: MIT
#include "engine/station/cstationdevice.h"

#include "engine/device/cdevicequeue.h"
#include "engine/device/cdriverhost.h"
#include "engine/device/devicecalls.h"
#include "engine/device/devicelibrary.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <utility>

namespace {

constexpr char kHostName[] = "card-dispenser-devicehost";

// The library as the record names it: absolute, its links resolved, as the loader found it.
QString recordedPath(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

} // namespace

CStationDevice::~CStationDevice() = default;

CHostDevice::CHostDevice(CDeviceQueue &queue)
    : m_libraryPath(QString::fromLatin1(kDeviceLibraryPath))
    , m_queue(&queue)
    , m_loaded(queue.sdk().pOpenDevice != nullptr)
{ }

CHostDevice::CHostDevice(QString libraryPath)
    : m_libraryPath(std::move(libraryPath))
    , m_ownQueue(std::make_unique<CDeviceQueue>(m_noLibrary))
    , m_queue(m_ownQueue.get())
{
    m_firstHost
        = std::make_unique<CDriverHost>(hostProgram(), m_libraryPath, BurnInSettings().hangGrace);
    m_loaded = m_firstHost->start();
    m_loadError = m_firstHost->error();
    if (!m_loaded)
        m_firstHost.reset();
}

CHostDevice::~CHostDevice()
{
    m_ownQueue.reset();
}

QString CHostDevice::hostProgram()
{
    QString beside
        = QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kHostName);
    for (const QString &path :
        {beside, QStringLiteral(CDT_DEVICEHOST_BUILT), QStringLiteral(CDT_DEVICEHOST_INSTALLED)}) {
        if (QFileInfo(path).isExecutable())
            return path;
    }
    return beside;
}

bool CHostDevice::isLoaded() const
{
    return m_loaded;
}

QString CHostDevice::libraryPath() const
{
    return recordedPath(m_libraryPath);
}

bool CHostDevice::run(
    CBurnInJob::Plan plan, CBurnInJob::LogLine log, std::shared_ptr<CBurnInProgress> progress)
{
    {
        const std::lock_guard<std::mutex> lock(m_hostMutex);
        m_aborted = false;
    }
    return m_queue->submit(QRunnable::create([this, plan = std::move(plan), log = std::move(log),
                                                 progress = std::move(progress)]() mutable {
        const std::unique_ptr<CDriverHost> host = takeHost(plan.settings.hangGrace);
        CBurnInJob job(
            *host, m_queue->gate(), std::move(plan), std::move(log), std::move(progress));
        runOnHost(job, *host);
    }));
}

// The host that told whether the library loads serves the first run rather than loading it
// once more.
std::unique_ptr<CDriverHost> CHostDevice::takeHost(std::chrono::milliseconds grace)
{
    std::unique_ptr<CDriverHost> host;
    {
        const std::lock_guard<std::mutex> lock(m_hostMutex);
        host = std::move(m_firstHost);
    }
    if (!host)
        host = std::make_unique<CDriverHost>(hostProgram(), m_libraryPath, grace);
    host->setGrace(grace);
    return host;
}

void CHostDevice::runOnHost(CBurnInJob &job, CDriverHost &host)
{
    // The window's own copy lets the port go before the run's first host opens it; the call
    // runs under the gate, which the host's first call holds.
    const ZOV_SDK &ownCopy = m_queue->sdk();
    host.setStarting([&ownCopy, closed = false]() mutable {
        if (!closed && ownCopy.pCloseDevice)
            DeviceCalls::close(ownCopy);
        closed = true;
    });
    host.setStarted([&job] { job.hostStarted(); });
    if (host.pid() > 0)
        job.hostStarted();
    {
        const std::lock_guard<std::mutex> lock(m_hostMutex);
        m_host = &host;
        if (m_aborted)
            host.abandon();
    }
    job.run();
    // Closed, as the card test page expects to find the device, before the host goes.
    if (host.opened())
        m_queue->gate().call([&host] { host.call(DriverProtocol::close()); });
    {
        const std::lock_guard<std::mutex> lock(m_hostMutex);
        m_host = nullptr;
    }
    host.finish();
}

void CHostDevice::wakeWaiters()
{
    m_queue->gate().wakeWaiters();
}

void CHostDevice::abort()
{
    {
        const std::lock_guard<std::mutex> lock(m_hostMutex);
        m_aborted = true;
        if (m_host)
            m_host->abandon();
    }
    m_queue->gate().wakeWaiters();
}
