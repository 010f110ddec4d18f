// SPDX-License-Identifier: MIT
#pragma once

#include "engine/device/ctestgate.h"

#include <QThread>

#include <chrono>

// The sleeps of the card issue test, in the units the test counts in. They wait through the test
// gate instead of QThread's own sleeps, which nothing can interrupt, so that closing the window
// cuts a wait for the customer short; both return false when that happened. Never instantiated.
class CSleeper : public QThread
{
public:
    ~CSleeper() override = default;

    static bool sleep(CTestGate &gate, unsigned long secs)
    {
        return gate.wait(std::chrono::seconds(secs));
    }

    static bool msleep(CTestGate &gate, unsigned long msecs)
    {
        return gate.wait(std::chrono::milliseconds(msecs));
    }
};
