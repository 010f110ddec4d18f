// SPDX-License-Identifier: MIT
#include "engine/store/cstationlock.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <csignal>

namespace {

const char kDeviceLock[] = "device.lock";
const char kUploadLock[] = "upload.lock";
const char kDeletedSuffix[] = " (deleted)";

// As QLockFile judges its own holders: the process exists and still runs the program that wrote
// the lock, not another one that was given the same number after the holder died.
bool isRunning(qint64 pid, const QString &application)
{
    if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH))
        return false;
    QString program = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    // Another user's process cannot be looked into: it exists, which is all there is to know.
    if (program.isEmpty())
        return true;
    // The program's file was replaced (an update) while it ran.
    if (program.endsWith(QLatin1String(kDeletedSuffix)))
        program.chop(int(qstrlen(kDeletedSuffix)));
    QFileInfo written(application);
    if (written.isSymLink())
        written.setFile(written.symLinkTarget());
    return QFileInfo(program).fileName() == written.fileName();
}

} // namespace

CStationLock::CStationLock(const QString &resultsFolder, Claim claim)
    : m_folder(resultsFolder)
    , m_claim(claim)
    , m_lock(lockPath(resultsFolder, claim))
{
    // Never stale by age: a run of 100,000 cards holds it for days.
    m_lock.setStaleLockTime(0);
}

CStationLock::~CStationLock() = default;

QString CStationLock::lockPath(const QString &resultsFolder, Claim claim)
{
    const char *name = claim == Claim::Device ? kDeviceLock : kUploadLock;
    return QDir::cleanPath(QDir(resultsFolder).absoluteFilePath(QLatin1String(name)));
}

bool CStationLock::tryLock(int waitMs)
{
    m_error.clear();
    m_heldByAnother = false;
    if (m_lock.isLocked())
        return true;
    const QString path = QDir::toNativeSeparators(lockPath(m_folder, m_claim));
    if (!QDir().mkpath(m_folder)) {
        m_error = QStringLiteral("无法创建结果文件夹 %1").arg(QDir::toNativeSeparators(m_folder));
        return false;
    }
    if (m_lock.tryLock(waitMs))
        return true;
    qint64 pid = 0;
    QString host;
    QString application;
    switch (m_lock.error()) {
    case QLockFile::LockFailedError: {
        m_heldByAnother = true;
        const QString busy = m_claim == Claim::Device ? QStringLiteral("设备正被另一进程使用")
                                                      : QStringLiteral("另一进程正在上传");
        m_error = m_lock.getLockInfo(&pid, &host, &application)
            ? QStringLiteral("%1：%2（进程 %3，主机 %4）").arg(busy, application).arg(pid).arg(host)
            : QStringLiteral("%1（%2）").arg(busy, path);
        break;
    }
    case QLockFile::PermissionError:
        m_error = QStringLiteral("无法创建锁文件 %1：没有权限").arg(path);
        break;
    case QLockFile::NoError:
    case QLockFile::UnknownError:
        m_error = QStringLiteral("无法创建锁文件 %1").arg(path);
        break;
    }
    return false;
}

void CStationLock::unlock()
{
    m_lock.unlock();
}

bool CStationLock::isHeldByLiveProcess(const QString &resultsFolder)
{
    QLockFile probe(lockPath(resultsFolder));
    qint64 pid = 0;
    QString host;
    QString application;
    if (!probe.getLockInfo(&pid, &host, &application))
        return false;
    if (!host.isEmpty() && host != QSysInfo::machineHostName())
        return true;
    return isRunning(pid, application);
}
