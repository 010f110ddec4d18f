// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// What every benchmark program reports: times against the moment the launcher exec'd it, the
// process's own memory figures, and "key=value" lines that bench/run.sh collects.
namespace BenchReport {

// Nanoseconds on the monotonic clock since the launcher's exec of this process, or since the
// first call when the program was started without the launcher.
qint64 nanosSinceExec();
qint64 nanosNow();

// A "Vm..." figure of /proc/self/status in KiB, or -1.
qint64 statusKib(const char *field);

void print(const char *key, double value);
void print(const char *key, qint64 value);

} // namespace BenchReport
