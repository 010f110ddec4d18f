// SPDX-License-Identifier: MIT
#pragma once

#include "burnin/burninrecord.h"

#include <QElapsedTimer>
#include <QSet>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>

class CTestGate;
class ZOV_SDK;

struct BurnInSettings
{
    int cards = 100;
    BurnInMode mode = BurnInMode::Capture;
    bool stopOnFailure = false;
};

// Where a run reports to, on the run's thread.
class CBurnInSink
{
public:
    // Every library call of the run, in order, for the step log.
    virtual void stepDone(int card, BurnInStep step, int code, qint64 ms) = 0;
    virtual void cardDone(const BurnInRecord &record) = 0;

protected:
    ~CBurnInSink() = default;
};

// The burn-in sequence: card after card, each recorded, through the shared device path. It knows
// no widget, so the same run goes against a fake device, the simulator or the real library.
// run() belongs to one thread; requestStop() may come from any.
class CBurnInRun
{
public:
    enum class End {
        Completed,
        Stopped, // by requestStop(), after the card in hand
        StoppedOnFailure,
        FailureStreak,
        BoxEmpty,
        CardLeftAtFront, // hand-out mode found a card in the channel and handed it out
        Interrupted, // the gate stopped: the window is closing
    };

    static constexpr int kFailureStreak = 5;

    CBurnInRun(
        const ZOV_SDK &sdk, CTestGate &gate, const BurnInSettings &settings, CBurnInSink &sink);

    End run();
    // The card in hand goes on to its end position (bin or front), then the run ends; a wait for
    // the customer to take a card ends at once.
    void requestStop();
    bool stopRequested() const { return m_stopRequested; }

    // Time spent inside library calls so far, lock waits included.
    std::chrono::nanoseconds libraryTime() const { return m_libraryTime; }

private:
    enum class Outcome { Recorded, BoxEmpty, CardLeftAtFront, Interrupted };
    using DeviceCall = std::function<int(const ZOV_SDK &sdk)>;

    End runCards();
    Outcome runCard(int index);
    Outcome runSteps();
    // False when the gate refused the call (the window is closing); rc is then unset.
    bool timedCall(const DeviceCall &deviceCall, int &rc);
    // False when the gate refused the call; rc is then unset.
    bool call(BurnInStep step, const DeviceCall &deviceCall, int &rc);
    // A step that must succeed: false when it failed (recorded) or the gate refused.
    bool step(BurnInStep step, const DeviceCall &deviceCall);
    void fail(BurnInStep step, int code);
    bool clearChannel(bool &cardLeft);
    bool readChip();
    bool finishCard();
    bool waitForRemoval();

    const ZOV_SDK &m_sdk;
    CTestGate &m_gate;
    const BurnInSettings m_settings;
    CBurnInSink &m_sink;
    std::atomic<bool> m_stopRequested {false};
    std::chrono::nanoseconds m_libraryTime {0};
    std::chrono::nanoseconds m_lastCallTime {0};

    BurnInRecord m_card;
    bool m_interrupted = false;
    QSet<QString> m_seenNumbers;
};
