// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Size of every reply buffer handed to the device library.
constexpr std::size_t kReplyBufferSize = 1024;
// The card number is kept as a NUL-terminated text in a buffer of this size.
constexpr std::size_t kCardNumberBufferSize = 1024;

using StatusTrace = std::function<void(const std::string &line)>;

// The channel status from getStatus's result and reply: 1 a card is in the channel, 0 the channel
// is empty or the reply unreadable, any other value getStatus's own failure code. Reads at most
// capacity bytes of the reply, whether or not a NUL ends it, and hands each "get status" trace
// line (without its line end) to trace.
int readChannelStatus(
    int result, const char *reply, std::size_t capacity, const StatusTrace &trace);

// The card number (EMV tag 5A) from getICInfo's chip reply, at most kCardNumberBufferSize - 1
// bytes; empty when the reply does not parse, its "Ret" is missing, not a number or not 0, or
// "Data" holds no string "5A". Reads at most capacity bytes of the reply.
std::string readCardNumber(const char *reply, std::size_t capacity);
