// SPDX-License-Identifier: MIT
#pragma once

#include <sys/resource.h>

// Stands in for a full disk for its lifetime: no file of this process grows past the given size,
// and a write that would is refused (with the signal the kernel sends for it ignored).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_saved {};
    void (*m_previousHandler)(int);
};
