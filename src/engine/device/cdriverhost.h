// SPDX-License-Identifier: MIT
#pragma once

#include "engine/device/cdevicelink.h"

#include <QString>

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

// The device library in a child process, card-dispenser-devicehost, so that a call that never
// returns or a library that crashes costs the run one card and not the runner. Each call has a
// deadline: its own timeout argument plus the grace; past it the host is killed. A host is
// started at the first call and after every host that was lost, each loading the library
// afresh. The host runs in a process group of its own, ignores the signals meant for the runner
// and dies with the thread that started it, so that one object belongs to one thread (the
// run's); only abandon() may come from another.
class CDriverHost final : public CDeviceLink
{
public:
    using Started = std::function<void()>;

    CDriverHost(QString program, QString libraryPath, std::chrono::milliseconds grace);
    // Kills a host that still runs.
    ~CDriverHost() override;
    CDriverHost(const CDriverHost &) = delete;
    CDriverHost &operator=(const CDriverHost &) = delete;

    // Called before every start of a host, and after every start of one that loaded the
    // library, on the caller's thread.
    void setStarting(Started starting) { m_starting = std::move(starting); }
    void setStarted(Started started) { m_started = std::move(started); }
    // For the calls from now on.
    void setGrace(std::chrono::milliseconds grace) { m_grace = grace; }

    Result call(const DriverProtocol::Request &request) override;
    // Starts a host unless one runs; false, with why in error(), when it could not start or
    // the library did not load (the host said why on standard error).
    bool start();
    QString error() const { return m_error; }
    // Lets the host go: it exits once it sees its socket closed, and is killed if it does not
    // within a moment.
    void finish();
    // From any thread: the call under way ends at once and the host is killed; this and every
    // later call answer Abandoned.
    void abandon();

    // How many hosts were started, and the one that runs now (0 for none).
    int starts() const { return m_starts; }
    pid_t pid() const { return m_pid; }
    // Whether the host that runs now has opened the device.
    bool opened() const { return m_opened; }

    // The deadline of a call: its timeout argument (30 s when it has none) plus the grace.
    static std::chrono::milliseconds deadline(
        const DriverProtocol::Request &request, std::chrono::milliseconds grace);

private:
    enum class Wait { Message, Closed, TimedOut, Abandoned };
    Wait waitFor(std::chrono::milliseconds timeout);
    bool waitForExit(std::chrono::milliseconds timeout);
    int end();
    Result lost(const QString &function, std::int64_t waitedNs);

    const QString m_program;
    const QString m_libraryPath;
    std::chrono::milliseconds m_grace;
    Started m_starting;
    Started m_started;
    QString m_error;
    int m_starts = 0;

    int m_socket = -1;
    int m_pidFd = -1;
    pid_t m_pid = 0;
    bool m_opened = false;

    std::atomic<bool> m_abandoned {false};
    // Wakes a call's wait when the run is abandoned.
    int m_wake = -1;
};
