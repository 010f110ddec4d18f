// SPDX-License-Identifier: MIT
#ifndef VARNAK_SIM_TRACELOG_H
#define VARNAK_SIM_TRACELOG_H

#include <mutex>
#include <string>

namespace varnaksim {

// Appends whole lines to a file, reopening it each time so every line is on disk at once,
// even when the process under test dies right after the call.
class TraceLog
{
public:
    explicit TraceLog(std::string path);

    bool enabled() const { return !m_path.empty(); }
    void append(const std::string &line);

private:
    std::string m_path;
    std::mutex m_mutex;
};

// Argument renderings, C-like so a line reads as the call the tool made.
std::string traceText(const char *text);
std::string traceBuffer(const void *buffer);
std::string traceIntPointer(const int *value);

} // namespace varnaksim

#endif // VARNAK_SIM_TRACELOG_H
