// SPDX-License-Identifier: MIT
#include "engine/store/cstationlock.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <csignal>

namespace {

const char kLockName[] = "device.lock";
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

CStationLock::CStationLock(const QString &resultsFolder)
    : m_folder(resultsFolder)
    , m_lock(lockPath(resultsFolder))
{
    // Never stale by age: a run of 100,000 cards holds it for days.
    m_lock.setStaleLockTime(0);
}

CStationLock::~CStationLock() = default;

QString CStationLock::lockPath(const QString &resultsFolder)
{
    return QDir::cleanPath(QDir(resultsFolder).absoluteFilePath(QLatin1String(kLockName)));
}

bool CStationLock::tryLock()
{
    m_error.clear();
    m_heldByAnother = false;
    if (m_lock.isLocked())
        return true;
    const QString path = QDir::toNativeSeparators(lockPath(m_folder));
    if (!QDir().mkpath(m_folder)) {
        m_error = QStringLiteral("无法创建结果文件夹 %1").arg(QDir::toNativeSeparators(m_folder));
        return false;
    }
    if (m_lock.tryLock(0))
        return true;
    qint64 pid = 0;
    QString host;
    QString application;
    switch (m_lock.error()) {
    case QLockFile::LockFailedError:
        m_heldByAnother = true;
        m_error = m_lock.getLockInfo(&pid, &host, &application)
            ? QStringLiteral("设备正被另一进程使用：%1（进程 %2，主机 %3）")
                  .arg(application)
                  .arg(pid)
                  .arg(host)
            : QStringLiteral("设备正被另一进程使用（%1）").arg(path);
        break;
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
