// SPDX-License-Identifier: MIT
#include "tracelog.h"

#include <cstdio>
#include <utility>

namespace varnaksim {

TraceLog::TraceLog(std::string path)
    : m_path(std::move(path))
{ }

void TraceLog::append(const std::string &line)
{
    if (!enabled())
        return;
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (std::FILE *file = std::fopen(m_path.c_str(), "a")) {
        std::fputs(line.c_str(), file);
        std::fputc('\n', file);
        std::fclose(file);
    }
}

std::string traceText(const char *text)
{
    if (!text)
        return "NULL";
    std::string out = "\"";
    for (const char *p = text; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string traceBuffer(const void *buffer)
{
    return buffer ? "buf" : "NULL";
}

std::string traceIntPointer(const int *value)
{
    return value ? "&" + std::to_string(*value) : "NULL";
}

} // namespace varnaksim
