// SPDX-License-Identifier: MIT
#include "engine/burnin/cburninrun.h"

#include "engine/device/ctestgate.h"
#include "engine/device/devicecalls.h"
#include "engine/device/removalwait.h"
#include "engine/device/replyreaders.h"

#include <QElapsedTimer>

namespace {

using namespace DeviceArguments;

constexpr int kCardInChannel = 1;
constexpr int kChannelEmpty = 0;

std::function<int(const ZOV_SDK &)> moveTo(Move move)
{
    return [move](const ZOV_SDK &sdk) { return DeviceCalls::move(sdk, move); };
}

} // namespace

CBurnInRun::CBurnInRun(const ZOV_SDK &sdk, CTestGate &gate, const BurnInSettings &settings,
    CBurnInSink &sink, const std::atomic<bool> &stop)
    : m_sdk(sdk)
    , m_gate(gate)
    , m_settings(settings)
    , m_sink(sink)
    , m_stop(stop)
{ }

CBurnInRun::End CBurnInRun::run()
{
    const End end = runCards();
    // Freed here, on the run's thread, rather than by whoever destroys the run.
    m_seenNumbers = QSet<QString>();
    return end;
}

CBurnInRun::End CBurnInRun::runCards()
{
    int failuresInARow = 0;
    for (int index = m_settings.firstCard; index <= m_settings.cards; ++index) {
        if (m_stop)
            return End::Stopped;
        switch (runCard(index)) {
        case Outcome::BoxEmpty:
            return End::BoxEmpty;
        case Outcome::CardLeftAtFront:
            return End::CardLeftAtFront;
        case Outcome::Interrupted:
            return End::Interrupted;
        case Outcome::OpenFailed:
            m_lostCard = index;
            return End::DeviceLost;
        case Outcome::ChannelBlocked:
            // The card is recorded, but the next one would run into it.
            return m_sink.cardDone(m_card) ? End::ChannelBlocked : End::RecordFailed;
        case Outcome::Recorded:
            break;
        }
        if (!m_sink.cardDone(m_card))
            return End::RecordFailed;
        failuresInARow = m_card.passed ? 0 : failuresInARow + 1;
        if (!m_card.passed && m_settings.stopOnFailure)
            return End::StoppedOnFailure;
        if (failuresInARow == kFailureStreak)
            return End::FailureStreak;
        if (index < m_settings.cards && m_sink.verdictSettled())
            return End::VerdictSettled;
    }
    // A stop that came during the last card stopped nothing: every card ran.
    return End::Completed;
}

CBurnInRun::Outcome CBurnInRun::runCard(int index)
{
    m_card = BurnInRecord();
    m_card.index = index;
    m_card.started = QDateTime::currentDateTime();
    m_card.passed = true;
    m_chipPowered = false;
    QElapsedTimer elapsed;
    elapsed.start();
    const std::chrono::nanoseconds libraryBefore = m_libraryTime;

    const Outcome outcome = runSteps();
    if (outcome != Outcome::Recorded && outcome != Outcome::ChannelBlocked)
        return outcome;

    m_card.elapsedNs = elapsed.nsecsElapsed();
    m_card.elapsedMs = m_card.elapsedNs / 1000000;
    m_card.libraryNs = (m_libraryTime - libraryBefore).count();
    if (!m_card.cardNumber.isEmpty()) {
        m_card.duplicate = m_seenNumbers.contains(m_card.cardNumber);
        m_seenNumbers.insert(m_card.cardNumber);
    }
    return outcome;
}

CBurnInRun::Outcome CBurnInRun::runSteps()
{
    // An open that fails is the station's connection, not a cycle of the dispenser: the card
    // never began, so it is neither recorded nor charged.
    int rc = 0;
    const auto open
        = [this](const ZOV_SDK &sdk) { return DeviceCalls::openOn(sdk, m_settings.connection); };
    if (!call(BurnInStep::Open, open, rc))
        return Outcome::Interrupted;
    if (rc != kOk) {
        m_openCode = rc;
        return Outcome::OpenFailed;
    }
    bool cardLeft = false;
    if (!clearLeftCard(cardLeft))
        return m_interrupted ? Outcome::Interrupted : Outcome::Recorded;
    if (cardLeft)
        return Outcome::CardLeftAtFront;

    if (!call(BurnInStep::Dispense, DeviceCalls::dispense, rc))
        return Outcome::Interrupted;
    if (rc == kBoxEmpty)
        return Outcome::BoxEmpty;
    if (rc != kOk)
        fail(BurnInStep::Dispense, rc);
    if (rc == kOk && issue())
        return Outcome::Recorded;
    if (m_interrupted)
        return Outcome::Interrupted;
    if (clearFailedCard())
        return Outcome::Recorded;
    return m_interrupted ? Outcome::Interrupted : Outcome::ChannelBlocked;
}

bool CBurnInRun::timedCall(const DeviceCall &deviceCall, int &rc)
{
    const auto start = std::chrono::steady_clock::now();
    if (!m_gate.call([&] { rc = deviceCall(m_sdk); })) {
        m_interrupted = true;
        return false;
    }
    m_lastCallTime = std::chrono::steady_clock::now() - start;
    m_libraryTime += m_lastCallTime;
    return true;
}

bool CBurnInRun::call(BurnInStep step, const DeviceCall &deviceCall, int &rc)
{
    if (!timedCall(deviceCall, rc))
        return false;
    const qint64 ms = std::chrono::duration_cast<std::chrono::milliseconds>(m_lastCallTime).count();
    qint64 &time = m_card.stepTime(step);
    time = time < 0 ? ms : time + ms;
    m_sink.stepDone(m_card.index, step, rc, ms);
    return true;
}

bool CBurnInRun::step(BurnInStep step, const DeviceCall &deviceCall)
{
    int rc = 0;
    if (!call(step, deviceCall, rc))
        return false;
    if (rc != kOk)
        fail(step, rc);
    return rc == kOk;
}

// Only the first failure of a card counts: it is the one that explains the card.
void CBurnInRun::fail(BurnInStep step, int code)
{
    if (!m_card.passed)
        return;
    m_card.passed = false;
    m_card.failedStep = step;
    m_card.failedCode = code;
}

// The channel as the status query tells it (see readChannelStatus); false when the gate refused.
bool CBurnInRun::queryChannel(int &status)
{
    char reply[kReplyBufferSize] = {};
    int rc = 0;
    if (!call(
            BurnInStep::Status,
            [&reply](const ZOV_SDK &sdk) { return DeviceCalls::status(sdk, reply); }, rc))
        return false;
    status = readChannelStatus(rc, reply, sizeof reply, [](const std::string &) {});
    return true;
}

// A card that was in the channel before this one, e.g. from before the run: into the bin with
// it, or, where nobody can know whether the customer will come back for it, out at the front
// and end the run.
bool CBurnInRun::clearLeftCard(bool &cardLeft)
{
    int status = kChannelEmpty;
    if (!queryChannel(status))
        return false;
    if (status != kChannelEmpty && status != kCardInChannel) {
        fail(BurnInStep::Status, status);
        return false;
    }
    if (status == kChannelEmpty)
        return true;
    if (m_settings.mode == BurnInMode::Capture)
        return step(BurnInStep::ClearChannel, moveTo(kToCapture));
    int rc = 0;
    cardLeft = call(BurnInStep::ClearChannel, moveTo(kToFront), rc);
    return cardLeft;
}

// The dispensed card's way from the reader to the bin or the customer; false at the first step
// that failed.
bool CBurnInRun::issue()
{
    if (m_settings.mode == BurnInMode::HandOut
        && !step(BurnInStep::MoveToReader, moveTo(kToReader)))
        return false;
    if (!step(BurnInStep::PowerOn, DeviceCalls::powerOn))
        return false;
    m_chipPowered = true;
    if (!readChip() || !step(BurnInStep::PowerOff, DeviceCalls::powerOff))
        return false;
    m_chipPowered = false;
    if (m_settings.mode == BurnInMode::Capture)
        return step(BurnInStep::Capture, moveTo(kToCapture));
    return step(BurnInStep::HandOut, moveTo(kToFront)) && waitForRemoval();
}

bool CBurnInRun::readChip()
{
    char reply[kReplyBufferSize] = {};
    if (!step(BurnInStep::ReadChip,
            [&reply](const ZOV_SDK &sdk) { return DeviceCalls::readChip(sdk, reply); }))
        return false;
    m_card.cardNumber = QString::fromStdString(readCardNumber(reply, sizeof reply));
    if (m_card.cardNumber.isEmpty())
        fail(BurnInStep::ReadChip, kNoCardNumber);
    return !m_card.cardNumber.isEmpty();
}

// The customer's wait is timed as its own step, which the card's device time leaves out. A stop
// ends the wait at once, with the card out at the front as it should be.
bool CBurnInRun::waitForRemoval()
{
    QElapsedTimer waited;
    waited.start();
    int failedQuery = kOk;
    const auto pause
        = [this](std::chrono::milliseconds duration) { return m_gate.wait(duration, m_stop); };
    const auto poll = [this, &failedQuery] {
        char reply[kReplyBufferSize] = {};
        int rc = 0;
        if (!timedCall(
                [&reply](const ZOV_SDK &sdk) { return DeviceCalls::status(sdk, reply); }, rc))
            return RemovalWait::Poll::Refused;
        const int status = readChannelStatus(rc, reply, sizeof reply, [](const std::string &) {});
        if (status == kChannelEmpty)
            return RemovalWait::Poll::Taken;
        if (status == kCardInChannel)
            return RemovalWait::Poll::Waiting;
        failedQuery = status;
        return RemovalWait::Poll::Failed;
    };
    const RemovalWait::Result result = RemovalWait::wait(pause, poll);
    m_card.stepTime(BurnInStep::Removal) = waited.elapsed();
    switch (result) {
    case RemovalWait::Result::Taken:
        return true;
    case RemovalWait::Result::Cancelled:
        m_interrupted = m_gate.stopRequested();
        return !m_interrupted;
    case RemovalWait::Result::NotTaken:
        fail(BurnInStep::Removal, kNotTaken);
        return false;
    case RemovalWait::Result::Failed:
        fail(BurnInStep::Removal, failedQuery);
        return false;
    }
    return false;
}

// After a failed step: the chip off where it was powered, and the card, wherever it stopped,
// into the bin, so that a failed card never reaches the customer and the next card finds the
// channel empty. False when the channel could not be cleared (or the gate refused).
bool CBurnInRun::clearFailedCard()
{
    int rc = 0;
    if (m_chipPowered && !call(BurnInStep::PowerOff, DeviceCalls::powerOff, rc))
        return false;
    int status = kChannelEmpty;
    if (!queryChannel(status))
        return false;
    if (status == kChannelEmpty)
        return true;
    if (status == kCardInChannel) {
        if (!call(BurnInStep::ClearChannel, moveTo(kToCapture), rc))
            return false;
        if (rc == kOk)
            return true;
        m_channelError
            = QStringLiteral("%1：%2").arg(burnInStepName(BurnInStep::ClearChannel)).arg(rc);
        return false;
    }
    m_channelError = QStringLiteral("%1：%2").arg(burnInStepName(BurnInStep::Status)).arg(status);
    return false;
}
