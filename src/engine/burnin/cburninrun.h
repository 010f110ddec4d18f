// SPDX-License-Identifier: MIT
#pragma once

#include "engine/device/devicearguments.h"
#include "engine/records/burninrecord.h"

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
    // A run that goes on after it was cut short starts past the cards it already has.
    int firstCard = 1;
    DeviceArguments::Connection connection {};
};

// Where a run reports to, on the run's thread.
class CBurnInSink
{
public:
    // Every library call of the run, in order, for the step log.
    virtual void stepDone(int card, BurnInStep step, int code, qint64 ms) = 0;
    // Returns whether the run may go on: false when the card could not be recorded, since an
    // unattended run must not go on without its record.
    virtual bool cardDone(const BurnInRecord &record) = 0;
    // Asked after each recorded card: whether the cards still to come can no longer change the
    // run's verdict, so that running them would only spend the dispenser.
    virtual bool verdictSettled() const { return false; }

protected:
    ~CBurnInSink() = default;
};

// The burn-in sequence: card after card, each recorded, through the shared device path. A card
// that fails from the dispense on is powered off and captured, so that it neither reaches the
// customer nor stands in the way of the next card. It knows no widget, so the same run goes
// against a fake device, the simulator or the real library. run() belongs to one thread; stop
// comes from any, whose setter wakes the gate's waiters.
class CBurnInRun
{
public:
    enum class End {
        Completed,
        Stopped, // by the stop flag, after the card in hand
        StoppedOnFailure,
        FailureStreak,
        BoxEmpty,
        CardLeftAtFront, // hand-out mode found a card in the channel and handed it out
        ChannelBlocked, // a failed card could not be cleared from the channel
        RecordFailed, // the sink could not record a card
        VerdictSettled, // the sink saw that the remaining cards cannot change the verdict
        Interrupted, // the gate stopped: the window is closing
        // A card's open failed: the station lost its connection (cable, power, port). Nothing
        // is charged to the dispenser and the card in hand gets no record.
        DeviceLost,
    };

    static constexpr int kFailureStreak = 5;
    // The code of a failed 读卡 whose reply held no card number: the library's own code was 0.
    static constexpr int kNoCardNumber = 1;
    // The code of a card that waited at the front for the whole minute: still in the channel.
    static constexpr int kNotTaken = kBurnInNotTaken;

    CBurnInRun(const ZOV_SDK &sdk, CTestGate &gate, const BurnInSettings &settings,
        CBurnInSink &sink, const std::atomic<bool> &stop);

    // The card numbers of the cards the run already has, for telling a repeated one.
    void setSeenNumbers(const QSet<QString> &numbers) { m_seenNumbers = numbers; }
    End run();
    // With End::ChannelBlocked: the clean-up step that failed and its code, e.g. "查询通道：-3".
    QString channelError() const { return m_channelError; }
    // With End::DeviceLost: the card that could not begin and the open's code.
    int lostCard() const { return m_lostCard; }
    int openCode() const { return m_openCode; }

    // Time spent inside library calls so far, lock waits included.
    std::chrono::nanoseconds libraryTime() const { return m_libraryTime; }

private:
    enum class Outcome {
        Recorded,
        BoxEmpty,
        CardLeftAtFront,
        ChannelBlocked,
        Interrupted,
        OpenFailed
    };
    using DeviceCall = std::function<int(const ZOV_SDK &sdk)>;

    End runCards();
    Outcome runCard(int index);
    Outcome runSteps();
    // False when the gate refused the call (the window is closing); rc is then unset.
    bool timedCall(const DeviceCall &deviceCall, int &rc);
    // The same, and the call goes into the card's step times and the step log.
    bool call(BurnInStep step, const DeviceCall &deviceCall, int &rc);
    // A step that must succeed: false when it failed (recorded) or the gate refused.
    bool step(BurnInStep step, const DeviceCall &deviceCall);
    void fail(BurnInStep step, int code);
    bool queryChannel(int &status);
    bool clearLeftCard(bool &cardLeft);
    bool issue();
    bool readChip();
    bool waitForRemoval();
    bool clearFailedCard();

    const ZOV_SDK &m_sdk;
    CTestGate &m_gate;
    const BurnInSettings m_settings;
    CBurnInSink &m_sink;
    const std::atomic<bool> &m_stop;
    std::chrono::nanoseconds m_libraryTime {0};
    std::chrono::nanoseconds m_lastCallTime {0};

    BurnInRecord m_card;
    bool m_chipPowered = false;
    bool m_interrupted = false;
    QString m_channelError;
    int m_lostCard = 0;
    int m_openCode = 0;
    QSet<QString> m_seenNumbers;
};
