// SPDX-License-Identifier: MIT
#include "cli/cstopsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <iterator>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Those this process handles: a signal that was ignored when it started (nohup) stays ignored.
bool g_handled[std::size(kSignals)] = {};

void writeSignal(int signal)
{
    const int saved = errno;
    const char number = char(signal);
    // A full pipe drops the byte: the signals before it are still to be read.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &number, 1);
    errno = saved;
}

bool isIgnored(int signal)
{
    struct sigaction current
    {
    };
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

void setHandler(int signal, void (*handler)(int))
{
    struct sigaction action
    {
    };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

} // namespace

CStopSignals::CStopSignals(QObject *parent)
    : QObject(parent)
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CStopSignals::readPipe);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        g_handled[i] = !isIgnored(kSignals[i]);
        if (g_handled[i])
            setHandler(kSignals[i], writeSignal);
    }
}

CStopSignals::~CStopSignals()
{
    if (!m_notifier)
        return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        if (std::exchange(g_handled[i], false))
            setHandler(kSignals[i], SIG_DFL);
    }
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void CStopSignals::readPipe()
{
    char number = 0;
    while (::read(g_pipe[0], &number, 1) == 1)
        emit received(int(number));
}
