// SPDX-License-Identifier: MIT
#include "fault.h"

#include <csignal>
#include <cstdlib>
#include <pthread.h>
#include <unistd.h>

namespace varnaksim {

namespace {

// Sleeps until the process is killed: pause() returns only after a signal handler ran, so the
// loop takes no CPU time between signals.
[[noreturn]] void hangForEver()
{
    for (;;)
        pause();
}

// The caller may have its own crash handler, or have blocked the signal; the process must still
// die of SIGSEGV itself, so that its parent sees the same end as of a real crash.
[[noreturn]] void dieOfSegv()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, nullptr);
    sigset_t segv;
    sigemptyset(&segv);
    sigaddset(&segv, SIGSEGV);
    pthread_sigmask(SIG_UNBLOCK, &segv, nullptr);
    raise(SIGSEGV);
    // Not reached: the default action of an unblocked SIGSEGV ends the process.
    std::abort();
}

} // namespace

void actOutFault(FaultKind kind)
{
    switch (kind) {
    case FaultKind::Hang:
        hangForEver();
    case FaultKind::Segv:
        dieOfSegv();
    case FaultKind::Abort:
        std::abort();
    case FaultKind::Exit:
        // Status 3, as from a library that gives up by calling exit, but without running the
        // caller's atexit handlers and static destructors while its other threads still run.
        _exit(3);
    }
    std::abort(); // not a kind the configuration makes
}

} // namespace varnaksim
