// SPDX-License-Identifier: MIT
// Starts one benchmark program and reports its whole life from outside: wall time from fork to
// exit and peak resident memory. The program's own report is timed from the exec, whose clock
// reading this passes down in CDT_BENCH_T0_NS. A program that has not ended after the time
// limit is killed, so that a hung benchmark cannot hold up the whole run.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

volatile sig_atomic_t childPid = 0;

void killChild(int)
{
    if (childPid > 0)
        kill(childPid, SIGKILL);
}

long long nanosNow()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

} // namespace

int main(int argc, char *argv[])
{
    int first = 1;
    unsigned limitSeconds = 0;
    if (argc > 2 && std::strcmp(argv[1], "--timeout") == 0) {
        limitSeconds = unsigned(std::strtoul(argv[2], nullptr, 10));
        first = 3;
    }
    if (argc <= first) {
        std::fprintf(stderr, "usage: %s [--timeout SECONDS] PROGRAM [ARGUMENTS...]\n", argv[0]);
        return 2;
    }
    std::fflush(stdout);
    const long long forkNs = nanosNow();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 2;
    }
    if (child == 0) {
        char t0[32];
        std::snprintf(t0, sizeof t0, "%lld", nanosNow());
        setenv("CDT_BENCH_T0_NS", t0, 1);
        execv(argv[first], argv + first);
        std::perror("exec");
        _exit(127);
    }

    childPid = child;
    struct sigaction onAlarm
    {
    };
    onAlarm.sa_handler = killChild;
    sigaction(SIGALRM, &onAlarm, nullptr);
    alarm(limitSeconds);

    int status = 0;
    rusage usage {};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("wait4");
            return 2;
        }
    }
    alarm(0);
    const long long lifeNs = nanosNow() - forkNs;
    std::printf("process_ms=%.3f\n", lifeNs / 1e6);
    std::printf("process_maxrss_kib=%ld\n", usage.ru_maxrss);
    std::printf("process_cpu_ms=%.3f\n",
        (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
    std::printf("exit_code=%d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}
