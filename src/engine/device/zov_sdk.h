// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Entry points of the device library "libvarnak_c.so". Every function returns 0 on success and
// a device failure code otherwise; texts are NUL-terminated, reply buffers are 1024 bytes.
extern "C" {
using OpenDeviceFn = int (*)(int port, int baud, const char *param, int timeout);
using CloseDeviceFn = int (*)(int timeout);
using GetStatusFn = int (*)(int timeout, char *reply);
using PowerOnFn = int (*)(int mode, int timeout);
using PowerOffFn = int (*)(int timeout);
using DeviceEnterCardFn = int (*)(int timeout);
using DeviceMoveCardFn = int (*)(const char *position, int timeout);
using DeviceSendCardFn = int (*)(const char *position, int timeout);
using GetICInfoFn = int (*)(int slot, const char *tags, const char *param, int *status, char *reply,
    int *replyLength, const char *extra, int timeout);
// Resolved only to accept a complete library; nothing calls it.
using GetICInfoARQCFn = int (*)();
}

// Loads the device library with the dynamic loader and holds its entry table. Callers use the
// entries directly; a null pOpenDevice means that no library is available. Not thread-safe:
// Init and UnInit run on the GUI thread, the entries are only read afterwards.
class ZOV_SDK
{
public:
    ZOV_SDK() = default;
    ~ZOV_SDK();
    ZOV_SDK(const ZOV_SDK &) = delete;
    ZOV_SDK &operator=(const ZOV_SDK &) = delete;

    bool Init(const char *path);
    void UnInit();
    // The library file as loaded, absolute; empty while none is.
    const std::string &path() const { return m_path; }

    void *pLib = nullptr;
    OpenDeviceFn pOpenDevice = nullptr;
    CloseDeviceFn pCloseDevice = nullptr;
    GetStatusFn pGetStatus = nullptr;
    PowerOnFn pPowerOn = nullptr;
    PowerOffFn pPowerOff = nullptr;
    DeviceEnterCardFn pDeviceEnterCard = nullptr;
    DeviceMoveCardFn pDeviceMoveCard = nullptr;
    DeviceSendCardFn pDeviceSendCard = nullptr;
    GetICInfoFn pGetICInfo = nullptr;
    GetICInfoARQCFn pGetICInfoARQC = nullptr;

private:
    void clear();

    std::string m_path;
};
