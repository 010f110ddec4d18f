// SPDX-License-Identifier: MIT
#include "engine/device/cdriverhost.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using namespace std::chrono;
using DriverProtocol::Reply;
using DriverProtocol::Request;

// The host's end of the socket pair, as card-dispenser-devicehost expects it.
constexpr int kHostSocket = 3;
// Loading a library runs its constructors, which may wait on the device.
constexpr seconds kLoadTimeout {30};
constexpr seconds kNoTimeoutArgument {30};
// What a host that was told to go gets before it is killed.
constexpr milliseconds kExitWait {2000};

// The signals a crashing library dies of; any other end of the host is not the library's doing.
bool isCrash(int signal)
{
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGABRT || signal == SIGILL
        || signal == SIGFPE;
}

QString signalText(int signal)
{
    const char *name = sigabbrev_np(signal);
    return name ? QStringLiteral("信号 %1（SIG%2）").arg(signal).arg(QLatin1String(name))
                : QStringLiteral("信号 %1").arg(signal);
}

QString secondsText(milliseconds duration)
{
    return QString::number(double(duration.count()) / 1000.0, 'g', 6);
}

int pidFdOpen(pid_t pid)
{
    return int(::syscall(SYS_pidfd_open, pid, 0));
}

std::int64_t nsSince(steady_clock::time_point start)
{
    return duration_cast<nanoseconds>(steady_clock::now() - start).count();
}

} // namespace

CDriverHost::CDriverHost(QString program, QString libraryPath, milliseconds grace)
    : m_program(std::move(program))
    , m_libraryPath(std::move(libraryPath))
    , m_grace(grace)
    , m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{ }

CDriverHost::~CDriverHost()
{
    end();
    if (m_wake >= 0)
        ::close(m_wake);
}

milliseconds CDriverHost::deadline(const Request &request, milliseconds grace)
{
    const milliseconds own
        = request.timeout > 0 ? milliseconds(seconds(request.timeout)) : kNoTimeoutArgument;
    return own + grace;
}

bool CDriverHost::start()
{
    if (m_pid > 0)
        return true;
    m_error.clear();
    if (m_starting)
        m_starting();
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        m_error
            = QStringLiteral("无法启动驱动进程：%1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    // Above the host's own number, so that the spawn's dup2 always makes a new descriptor,
    // which drops close-on-exec.
    const int hostEnd = ::fcntl(pair[1], F_DUPFD_CLOEXEC, kHostSocket + 1);
    ::close(pair[1]);
    m_socket = pair[0];

    const QByteArray program = m_program.toLocal8Bit();
    const QByteArray library = m_libraryPath.toLocal8Bit();
    const QByteArray parent = QByteArray::number(qint64(::getpid()));
    char *const argv[] = {const_cast<char *>(program.constData()),
        const_cast<char *>(library.constData()), const_cast<char *>(parent.constData()), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, hostEnd, kHostSocket);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Blocked until the host ignores them: a Ctrl-C or systemctl stop that comes while it starts
    // stays pending and is then dropped, never killing it.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        sigaddset(&blocked, signal);
    posix_spawnattr_setsigmask(&attributes, &blocked);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    pid_t child = 0;
    const int spawned
        = ::posix_spawn(&child, program.constData(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(hostEnd);
    if (spawned != 0) {
        end();
        m_error = QStringLiteral("无法启动驱动进程 %1：%2")
                      .arg(m_program, QString::fromLocal8Bit(strerror(spawned)));
        return false;
    }
    m_pid = child;
    m_pidFd = pidFdOpen(child);

    Reply ready;
    const Wait waited = waitFor(kLoadTimeout + m_grace);
    if (waited == Wait::Message
        && ::recv(m_socket, &ready, sizeof ready, 0) == ssize_t(sizeof ready)
        && ready.version == DriverProtocol::kVersion) {
        ++m_starts;
        if (m_started)
            m_started();
        return true;
    }
    const int status = end();
    if (waited == Wait::TimedOut)
        m_error = QStringLiteral("驱动进程 %1 秒内未能加载设备库 %2")
                      .arg(secondsText(kLoadTimeout + m_grace), m_libraryPath);
    else if (waited == Wait::Abandoned)
        m_error = QStringLiteral("已立即停止");
    else if (WIFSIGNALED(status))
        m_error = QStringLiteral("驱动进程加载设备库 %1 时结束（%2）")
                      .arg(m_libraryPath, signalText(WTERMSIG(status)));
    else
        m_error = QStringLiteral("无法加载设备库 %1：缺少文件或缺少函数").arg(m_libraryPath);
    return false;
}

CDeviceLink::Result CDriverHost::call(const Request &request)
{
    const QString function = QString::fromLatin1(DriverProtocol::functionName(request.function));
    Result result;
    if (m_abandoned) {
        result.answer = Answer::Abandoned;
        return result;
    }
    if (!start()) {
        result.answer = m_abandoned ? Answer::Abandoned : Answer::HostLost;
        result.why = m_error;
        return result;
    }
    const auto started = steady_clock::now();
    const milliseconds deadline = CDriverHost::deadline(request, m_grace);
    // A host that is gone makes the send fail (EPIPE, without the signal); its end tells why.
    if (::send(m_socket, &request, sizeof request, MSG_NOSIGNAL) != ssize_t(sizeof request))
        return lost(function, nsSince(started));
    switch (waitFor(deadline)) {
    case Wait::Message: {
        const ssize_t got = ::recv(m_socket, &result.reply, sizeof result.reply, 0);
        if (got == ssize_t(sizeof result.reply)
            && result.reply.version == DriverProtocol::kVersion) {
            result.ns = result.reply.deviceNs;
            if (request.function == DriverProtocol::Function::OpenDevice)
                m_opened = m_opened || result.reply.code == DeviceArguments::kOk;
            return result;
        }
        // The host closed its end, or answered nonsense: how it ends decides.
        return lost(function, nsSince(started));
    }
    case Wait::Closed:
        return lost(function, nsSince(started));
    case Wait::TimedOut:
        end();
        result.answer = Answer::NoReply;
        result.ns = nsSince(started);
        result.why = QStringLiteral("%1：%2 秒内无响应").arg(function, secondsText(deadline));
        return result;
    case Wait::Abandoned:
        break;
    }
    end();
    result.answer = Answer::Abandoned;
    result.ns = nsSince(started);
    return result;
}

// The host ended, or closed its end: how it ended decides whose fault it was.
CDeviceLink::Result CDriverHost::lost(const QString &function, std::int64_t waitedNs)
{
    Result result;
    result.ns = waitedNs;
    const bool ended = waitForExit(kExitWait);
    const int status = end();
    if (m_abandoned) {
        result.answer = Answer::Abandoned;
    } else if (!ended) {
        result.answer = Answer::DriverCrash;
        result.why = QStringLiteral("%1：驱动进程断开了连接").arg(function);
    } else if (WIFEXITED(status)) {
        result.answer = Answer::DriverCrash;
        result.why
            = QStringLiteral("%1：驱动进程退出，状态 %2").arg(function).arg(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status) && isCrash(WTERMSIG(status))) {
        result.answer = Answer::DriverCrash;
        result.why = QStringLiteral("%1：%2").arg(function, signalText(WTERMSIG(status)));
    } else {
        result.answer = Answer::HostLost;
        result.why = QStringLiteral("驱动进程在 %1 中被外部结束（%2）")
                         .arg(function, signalText(WIFSIGNALED(status) ? WTERMSIG(status) : 0));
    }
    return result;
}

void CDriverHost::finish()
{
    if (m_pid <= 0)
        return;
    // The host's next read ends: it exits by itself.
    ::shutdown(m_socket, SHUT_RDWR);
    waitForExit(kExitWait);
    end();
}

void CDriverHost::abandon()
{
    m_abandoned = true;
    const std::uint64_t one = 1;
    // Fails only when the counter is full, with a wake pending already.
    [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
}

// Waits for the host's next message, the close of its end, the deadline or the run's abandon,
// whichever comes first.
CDriverHost::Wait CDriverHost::waitFor(milliseconds timeout)
{
    const auto until = steady_clock::now() + timeout;
    for (;;) {
        if (m_abandoned)
            return Wait::Abandoned;
        pollfd watched[] = {{m_socket, POLLIN, 0}, {m_pidFd, POLLIN, 0}, {m_wake, POLLIN, 0}};
        const auto left = duration_cast<milliseconds>(until - steady_clock::now());
        if (left.count() <= 0)
            return Wait::TimedOut;
        const int ready = ::poll(watched, 3, int(left.count()) + 1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Wait::Closed;
        if ((watched[0].revents & POLLIN) != 0)
            return Wait::Message;
        if (watched[0].revents != 0 || watched[1].revents != 0)
            return Wait::Closed;
    }
}

// Whether the host has ended (and may be reaped) within the timeout.
bool CDriverHost::waitForExit(milliseconds timeout)
{
    const auto until = steady_clock::now() + timeout;
    for (;;) {
        pollfd watched {m_pidFd, POLLIN, 0};
        const auto left = duration_cast<milliseconds>(until - steady_clock::now());
        const int ready = ::poll(&watched, 1, std::max<int>(0, int(left.count())));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}

// Kills the host unless it has ended, reaps it and closes its descriptors; its wait status, or
// 0 when there was none to reap.
int CDriverHost::end()
{
    int status = 0;
    if (m_pid > 0) {
        if (!waitForExit(milliseconds(0)))
            ::kill(m_pid, SIGKILL);
        // A process in the middle of a system call dies once the call is interrupted; one stuck
        // in the kernel is left for the system to reap rather than hanging the run.
        if (waitForExit(kExitWait))
            ::waitpid(m_pid, &status, 0);
        m_pid = 0;
    }
    m_opened = false;
    for (int *fd : {&m_socket, &m_pidFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    return status;
}
