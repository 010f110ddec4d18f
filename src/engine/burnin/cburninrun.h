// SPDX-License-Identifier: MIT
#pragma once

#include "engine/device/cdevicelink.h"
#include "engine/device/devicearguments.h"
#include "engine/records/burninrecord.h"
#include "engine/records/resultsrun.h"

#include <QSet>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

class CTestGate;

struct BurnInSettings
{
    int cards = 100;
    BurnInMode mode = BurnInMode::Capture;
    bool stopOnFailure = false;
    // A run that goes on after it was cut short starts past the cards it already has.
    int firstCard = 1;
    DeviceArguments::Connection connection {};
    // What a library call gets past its own timeout before it counts as hung; the station's
    // setting of today, like the connection.
    std::chrono::milliseconds hangGrace {10000};
    // Five failed cards in a row end the run (kFailureStreak). A run judged by a test plan goes
    // on: its plan alone decides when a unit has failed too often.
    bool endOnFailureStreak = true;
    // The most cards one sitting runs: a plan may need millions, which a station takes over
    // several sittings rather than in one that holds a process's memory for weeks.
    int sittingCards = 100000;
};

// Where a run reports to, on the run's thread.
class CBurnInSink
{
public:
    // Every library call of the run, in order, for the step log; a call that hung or crashed the
    // driver has the outcome and no code.
    virtual void stepDone(int card, BurnInStep step, int code, qint64 ms, BurnInOutcome outcome)
        = 0;
    // Returns whether the run may go on: false when the card could not be recorded, since an
    // unattended run must not go on without its record.
    virtual bool cardDone(const BurnInRecord &record) = 0;
    // Asked after each recorded card: whether the cards still to come can no longer change the
    // run's verdict, so that running them would only spend the dispenser.
    virtual bool verdictSettled() const { return false; }
    // A library call that hung or crashed its host (DriverHang, DriverCrash), for the run's
    // record; reason names the function and the deadline or how the host ended.
    virtual void driverFault(ResultsEventKind kind, const QString &reason) = 0;

protected:
    ~CBurnInSink() = default;
};

// The burn-in sequence: card after card, each recorded, through the shared device path. A card
// that fails from the dispense on is powered off and captured, so that it neither reaches the
// customer nor stands in the way of the next card. A call that hung or crashed the driver fails
// its card at that step; the next card, on a new host, clears the channel into the bin first.
// It knows no widget, so the same run goes against a fake device, the simulator or the real
// library, in this process or in a host. run() belongs to one thread; stop comes from any, whose
// setter wakes the gate's waiters.
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
        // The driver host ended for the station's reasons or could not be started: the card in
        // hand gets no record, and the run is to be continued.
        HostLost,
        // Told to end at once: the card in hand was not finished and gets no record.
        Abandoned,
        // The sitting ran its sittingCards of a longer run (a plan's): to be continued.
        SittingFull,
    };

    static constexpr int kFailureStreak = 5;
    // The code of a failed 读卡 whose reply held no card number: the library's own code was 0.
    static constexpr int kNoCardNumber = 1;
    // The code of a card that waited at the front for the whole minute: still in the channel.
    static constexpr int kNotTaken = kBurnInNotTaken;

    CBurnInRun(CDeviceLink &link, CTestGate &gate, const BurnInSettings &settings,
        CBurnInSink &sink, const std::atomic<bool> &stop);

    // The card numbers of the cards the run already has, for telling a repeated one.
    void setSeenNumbers(const QSet<QString> &numbers) { m_seenNumbers = numbers; }
    End run();
    // With End::ChannelBlocked: the clean-up step that failed and its code, e.g. "查询通道：-3".
    QString channelError() const { return m_channelError; }
    // With End::DeviceLost, HostLost and Abandoned: the card that could not begin or finish;
    // with DeviceLost the open's code, or 0 and openFailure() when the open did not return.
    int lostCard() const { return m_lostCard; }
    int openCode() const { return m_openCode; }
    // "-20", or what became of an open that did not return, e.g. "无响应".
    QString openFailure() const;
    // With End::HostLost: why the host was lost.
    QString hostLost() const { return m_hostLost; }

    // Time spent inside library calls so far, lock waits included.
    std::chrono::nanoseconds libraryTime() const { return m_libraryTime; }

private:
    enum class Outcome {
        Recorded,
        BoxEmpty,
        CardLeftAtFront,
        ChannelBlocked,
        Interrupted,
        OpenFailed,
        HostLost,
        Abandoned,
    };
    // What ended the card's calls before its steps were done.
    enum class Cut { None, Refused, Abandoned, HostLost, DriverFault };
    using Request = DriverProtocol::Request;
    using Reply = DriverProtocol::Reply;

    End runCards();
    Outcome runCard(int index);
    Outcome runSteps();
    // The card's outcome once a call did not return (see Cut).
    Outcome cutShort() const;
    // False, with m_cut set, when the call did not return: the gate refused it (the window is
    // closing), the run was abandoned, or the driver hung, crashed or was lost; the card's
    // calls end there. With step, a call that hung or crashed fails the card at that step.
    bool timedCall(const Request &request, Reply &reply, std::optional<BurnInStep> step = {});
    // The same, and the call goes into the card's step times and the step log.
    bool call(BurnInStep step, const Request &request, Reply &reply);
    // A step that must succeed: false when it failed (recorded) or did not return.
    bool step(BurnInStep step, const Request &request);
    void fail(BurnInStep step, int code, BurnInOutcome outcome = BurnInOutcome::DeviceCode);
    bool queryChannel(int &status);
    bool clearLeftCard(bool &cardLeft);
    bool issue();
    bool readChip();
    bool waitForRemoval();
    bool clearFailedCard();

    CDeviceLink &m_link;
    CTestGate &m_gate;
    const BurnInSettings m_settings;
    CBurnInSink &m_sink;
    const std::atomic<bool> &m_stop;
    std::chrono::nanoseconds m_libraryTime {0};
    std::chrono::nanoseconds m_lastCallTime {0};

    BurnInRecord m_card;
    bool m_chipPowered = false;
    bool m_interrupted = false;
    Cut m_cut = Cut::None;
    BurnInOutcome m_faultOutcome = BurnInOutcome::DeviceCode; // of the call that cut the card
    // A host was lost since the last card: the next one clears the channel into the bin first.
    bool m_clearIntoBin = false;
    QString m_hostLost;
    QString m_channelError;
    int m_lostCard = 0;
    int m_openCode = 0;
    std::optional<BurnInOutcome> m_openOutcome;
    QSet<QString> m_seenNumbers;
};
