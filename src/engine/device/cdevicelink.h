// SPDX-License-Identifier: MIT
#pragma once

#include "engine/device/driverprotocol.h"

#include <QString>

#include <cstdint>

class ZOV_SDK;

// How a burn-in reaches the device library's functions: one call at a time, in order, each
// answered by the library, or not, when the code that runs it hung, crashed or is gone.
class CDeviceLink
{
public:
    enum class Answer {
        Returned, // the library returned: reply holds its code
        NoReply, // the call outlived its deadline and its host was killed
        DriverCrash, // the host died inside the call: a signal of a crash, or an exit
        HostLost, // the host ended for the station's reasons, or could not start or load
        Abandoned, // the run was told to end at once
    };
    struct Result
    {
        Answer answer = Answer::Returned;
        DriverProtocol::Reply reply;
        // The call's time in the library as the host measured it; for a call that did not
        // return, the time it was waited for.
        std::int64_t ns = 0;
        // For the record, when the call did not return, e.g. "getICInfo：信号 11（SIGSEGV）".
        QString why;
    };

    virtual ~CDeviceLink();
    virtual Result call(const DriverProtocol::Request &request) = 0;
};

// The library loaded in this process: what the host runs its calls through, and what the
// engine's tests drive a run with. Every call returns.
class CLibraryLink final : public CDeviceLink
{
public:
    explicit CLibraryLink(const ZOV_SDK &sdk)
        : m_sdk(sdk)
    { }
    Result call(const DriverProtocol::Request &request) override;

private:
    const ZOV_SDK &m_sdk;
};
