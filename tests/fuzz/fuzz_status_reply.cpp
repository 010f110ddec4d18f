// SPDX-License-Identifier: MIT
// Fuzzes the channel status reader with any bytes a library could leave in its reply buffer.
#include "engine/device/replyreaders.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Exactly as long as the bytes, with no NUL after them: AddressSanitizer catches any read
    // past the end, as a library that fills its buffer to the last byte would provoke.
    const auto reply = std::make_unique<char[]>(size);
    std::memcpy(reply.get(), data, size);
    int lines = 0;
    const int status
        = readChannelStatus(0, reply.get(), size, [&lines](const std::string &) { ++lines; });
    // A successful getStatus reads as a card or as none, after three or four trace lines.
    if ((status != 0 && status != 1) || lines < 3 || lines > 4)
        std::abort();
    return 0;
}
