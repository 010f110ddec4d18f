// SPDX-License-Identifier: MIT
#include "engine/device/zov_sdk.h"

#include <QDebug>

#include <cstdlib>
#include <cstring>

#include <dlfcn.h>

namespace {

// dlsym hands back an object pointer; the entries are typed function pointers. POSIX guarantees
// the conversion, memcpy keeps compilers from warning about it.
template<typename Fn> bool resolve(void *lib, const char *name, Fn &entry)
{
    void *symbol = dlsym(lib, name);
    static_assert(sizeof(symbol) == sizeof(entry));
    std::memcpy(&entry, &symbol, sizeof(entry));
    return symbol != nullptr;
}

} // namespace

ZOV_SDK::~ZOV_SDK()
{
    if (pLib)
        dlclose(pLib);
}

bool ZOV_SDK::Init(const char *path)
{
    if (pLib)
        return false;

    pLib = dlopen(path, RTLD_LAZY);
    if (!pLib) {
        qDebug() << "open so failed";
        return false;
    }

    // Looked up in the table's order; the first missing name stops the load.
    const char *error = nullptr;
    if (!resolve(pLib, "openDevice", pOpenDevice))
        error = "load pOpenDevice error";
    else if (!resolve(pLib, "closeDevice", pCloseDevice))
        error = "load pCloseDevice error";
    else if (!resolve(pLib, "getStatus", pGetStatus))
        error = "load pGetStatus error";
    else if (!resolve(pLib, "powerOn", pPowerOn))
        error = "load pPowerOn error";
    else if (!resolve(pLib, "powerOff", pPowerOff))
        error = "load pPowerOff error";
    else if (!resolve(pLib, "deviceEnterCard", pDeviceEnterCard))
        error = "load pDevciceEnterCard error";
    else if (!resolve(pLib, "deviceMoveCard", pDeviceMoveCard))
        error = "load pDevcieMoveCard error";
    else if (!resolve(pLib, "deviceSendCard", pDeviceSendCard))
        error = "load pDeviceSendCard error";
    else if (!resolve(pLib, "getICInfo", pGetICInfo))
        error = "load pGetICInfo error";
    else if (!resolve(pLib, "getICInfoARQC", pGetICInfoARQC))
        error = "load pGetICInfoARQC error";

    if (error) {
        qDebug() << error;
        qDebug() << "load method failed";
        dlclose(pLib);
        clear();
        return false;
    }

    qDebug() << "load success";
    if (char *absolute = realpath(path, nullptr)) {
        m_path = absolute;
        std::free(absolute);
    }
    return true;
}

void ZOV_SDK::UnInit()
{
    if (!pLib)
        return;
    dlclose(pLib);
    clear();
}

void ZOV_SDK::clear()
{
    m_path.clear();
    pLib = nullptr;
    pOpenDevice = nullptr;
    pCloseDevice = nullptr;
    pGetStatus = nullptr;
    pPowerOn = nullptr;
    pPowerOff = nullptr;
    pDeviceEnterCard = nullptr;
    pDeviceMoveCard = nullptr;
    pDeviceSendCard = nullptr;
    pGetICInfo = nullptr;
    pGetICInfoARQC = nullptr;
}
