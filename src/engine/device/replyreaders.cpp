// SPDX-License-Identifier: MIT
#include "engine/device/replyreaders.h"

#include <cjson/cJSON.h>

#include <cstring>
#include <memory>

namespace {

// Only the first four bytes name the position; the library may add more after them.
constexpr char kEmptyChannel[] = "cp35";
constexpr std::size_t kPositionCodeLength = 4;

using JsonTree = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

// A library may fill the buffer to its end without a NUL, so the text is measured, never trusted.
JsonTree parse(const char *reply, std::size_t capacity)
{
    return JsonTree(cJSON_ParseWithLength(reply, strnlen(reply, capacity)), &cJSON_Delete);
}

std::string retLine(const std::string &value)
{
    return "get status ret " + value;
}

} // namespace

int readChannelStatus(int result, const char *reply, std::size_t capacity, const StatusTrace &trace)
{
    if (result != 0) {
        trace(retLine(std::to_string(result)));
        return result;
    }
    trace("get status 1");
    const JsonTree root = parse(reply, capacity);
    trace("get status 2");
    const char *channel = cJSON_GetStringValue(cJSON_GetObjectItem(root.get(), "Channel"));
    if (!channel) {
        trace(retLine("0"));
        return 0;
    }
    trace(retLine(channel));
    const int status = std::strncmp(channel, kEmptyChannel, kPositionCodeLength) == 0 ? 0 : 1;
    trace(retLine(std::to_string(status)));
    return status;
}

std::string readCardNumber(const char *reply, std::size_t capacity)
{
    const JsonTree root = parse(reply, capacity);
    const cJSON *ret = cJSON_GetObjectItem(root.get(), "Ret");
    if (!cJSON_IsNumber(ret) || ret->valueint != 0)
        return {};
    const cJSON *data = cJSON_GetObjectItem(root.get(), "Data");
    if (!cJSON_IsObject(data))
        return {};
    const char *number = cJSON_GetStringValue(cJSON_GetObjectItem(data, "5A"));
    if (!number)
        return {};
    return std::string(number, strnlen(number, kCardNumberBufferSize - 1));
}
