// SPDX-License-Identifier: MIT
// Fuzzes the card number reader with any bytes a library could leave in its chip reply buffer.
#include "engine/device/replyreaders.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Exactly as long as the bytes, with no NUL after them: AddressSanitizer catches any read
    // past the end, as a library that fills its buffer to the last byte would provoke.
    const auto reply = std::make_unique<char[]>(size);
    std::memcpy(reply.get(), data, size);
    // The number must fit the tool's card number buffer with its NUL.
    if (readCardNumber(reply.get(), size).size() >= kCardNumberBufferSize)
        std::abort();
    return 0;
}
