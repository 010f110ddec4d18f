// SPDX-License-Identifier: MIT
#include "benchreport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// The launcher takes this clock in the child between fork and exec and passes it down.
const char kExecTimeVariable[] = "CDT_BENCH_T0_NS";

qint64 execTime()
{
    static const qint64 t0 = [] {
        if (const char *text = std::getenv(kExecTimeVariable))
            return qint64(std::strtoll(text, nullptr, 10));
        return BenchReport::nanosNow();
    }();
    return t0;
}

// Taken while static objects are built, before main, so that a program started by hand still
// measures most of its start-up.
const qint64 kStaticInitTime = execTime();

} // namespace

namespace BenchReport {

qint64 nanosNow()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

qint64 nanosSinceExec()
{
    Q_UNUSED(kStaticInitTime);
    return nanosNow() - execTime();
}

qint64 statusKib(const char *field)
{
    FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    const size_t length = std::strlen(field);
    char line[256];
    qint64 kib = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            kib = std::strtoll(line + length + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return kib;
}

void print(const char *key, double value)
{
    std::printf("%s=%.3f\n", key, value);
    std::fflush(stdout);
}

void print(const char *key, qint64 value)
{
    std::printf("%s=%lld\n", key, static_cast<long long>(value));
    std::fflush(stdout);
}

} // namespace BenchReport
