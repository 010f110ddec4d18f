// SPDX-License-Identifier: MIT
#include "engine/device/cdevicelink.h"

CDeviceLink::~CDeviceLink() = default;

CDeviceLink::Result CLibraryLink::call(const DriverProtocol::Request &request)
{
    Result result;
    DriverProtocol::execute(m_sdk, request, result.reply);
    result.ns = result.reply.deviceNs;
    return result;
}
