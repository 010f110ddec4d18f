// SPDX-License-Identifier: MIT
// card-dispenser-devicehost LIBRARY PARENT_PID: loads the device library and runs its calls as
// the burn-in asks for them on descriptor 3 (see DriverProtocol), one at a time, until that
// socket closes. Started by the burn-in alone, never by hand.
#include "engine/device/driverprotocol.h"
#include "engine/device/zov_sdk.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSocket = 3;
constexpr int kUsage = 2;
constexpr int kNotLoaded = 3;

// The loader's diagnostics: worth a line on standard error only when the library did not load.
std::vector<std::string> &diagnostics()
{
    static std::vector<std::string> lines;
    return lines;
}

void keepDiagnostic(QtMsgType, const QMessageLogContext &, const QString &message)
{
    diagnostics().push_back(message.toLocal8Bit().toStdString());
}

} // namespace

int main(int argc, char *argv[])
{
    // Signals meant for the runner (a terminal's Ctrl-C, systemctl stop, a dropped session) are
    // its to handle; the runner started this process with them blocked until now.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(signal, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (argc != 3)
        return kUsage;
    // Dies with the runner, also with one killed by SIGKILL; one that died before this line is
    // told by the parent that is left.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != std::strtol(argv[2], nullptr, 10))
        return kUsage;
    ::close_range(kSocket + 1, ~0U, 0);

    qInstallMessageHandler(keepDiagnostic);
    ZOV_SDK sdk;
    if (!sdk.Init(argv[1])) {
        for (const std::string &line : diagnostics())
            std::fprintf(stderr, "%s\n", line.c_str());
        return kNotLoaded;
    }
    diagnostics().clear();

    DriverProtocol::Reply ready;
    if (::send(kSocket, &ready, sizeof ready, 0) != ssize_t(sizeof ready))
        return EXIT_SUCCESS;
    for (;;) {
        DriverProtocol::Request request;
        const ssize_t got = ::recv(kSocket, &request, sizeof request, 0);
        if (got != ssize_t(sizeof request))
            return EXIT_SUCCESS;
        DriverProtocol::Reply reply;
        // A request this host cannot run ends it, and the runner reads why from its exit.
        if (!DriverProtocol::execute(sdk, request, reply))
            return kUsage;
        if (::send(kSocket, &reply, sizeof reply, 0) != ssize_t(sizeof reply))
            return EXIT_SUCCESS;
    }
}
