// SPDX-License-Identifier: MIT
#pragma once

#include <QLockFile>
#include <QString>

// The station's claim on its device: one lock file in the results folder, held for the whole of
// a run by whichever process runs it (the burn-in page, a command-line runner), so that two never
// drive one dispenser at once. The upload has a lock of its own, held while a process forwards
// the record to the server, so that two never forward at once. A lock left by a process that
// died is taken over; that of a live process never is, however old. One object per holder; any
// thread, one at a time.
class CStationLock
{
public:
    enum class Claim { Device, Upload };

    explicit CStationLock(const QString &resultsFolder, Claim claim = Claim::Device);
    // Releases the lock if held.
    ~CStationLock();
    CStationLock(const CStationLock &) = delete;
    CStationLock &operator=(const CStationLock &) = delete;

    // <results folder>/device.lock, or upload.lock
    static QString lockPath(const QString &resultsFolder, Claim claim = Claim::Device);

    // Takes the lock, waiting at most waitMs for a live holder, creating the folder if needed.
    // False when it cannot: error() then names the holder, as in
    // "设备正被另一进程使用：card-dispenser-test（进程 1234，主机 kiosk7）".
    bool tryLock(int waitMs = 0);
    void unlock();
    bool isLocked() const { return m_lock.isLocked(); }
    QString error() const { return m_error; }
    // After a failed tryLock(): whether another live process holds the lock, rather than the
    // folder or the file being out of reach.
    bool heldByAnother() const { return m_heldByAnother; }

    // Whether a live process, this one included, holds the folder's lock right now. Reads the
    // lock file and asks the system about its process; it takes nothing, so it may be called at
    // every refresh of the history. A holder on another host counts as live: it cannot be asked.
    static bool isHeldByLiveProcess(const QString &resultsFolder);

private:
    QString m_folder;
    Claim m_claim;
    QLockFile m_lock;
    QString m_error;
    bool m_heldByAnother = false;
};
