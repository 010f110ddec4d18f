// SPDX-License-Identifier: MIT
#include "burnin/cburninrun.h"

#include "device/replyreaders.h"
#include "device/ctestgate.h"
#include "device/devicearguments.h"
#include "device/zov_sdk.h"

namespace {

using namespace DeviceArguments;

constexpr int kCardInChannel = 1;

// As on the card test page: a head start for the customer, then polls for up to a minute.
constexpr std::chrono::seconds kRemovalHeadStart {3};
constexpr int kRemovalPolls = 120;
constexpr std::chrono::milliseconds kRemovalPollPause {500};

std::function<int(const ZOV_SDK &)> moveTo(Move move)
{
    return [move](const ZOV_SDK &sdk) { return sdk.pDeviceMoveCard(move.position, move.timeout); };
}

} // namespace

CBurnInRun::CBurnInRun(
    const ZOV_SDK &sdk, CTestGate &gate, const BurnInSettings &settings, CBurnInSink &sink)
    : m_sdk(sdk)
    , m_gate(gate)
    , m_settings(settings)
    , m_sink(sink)
{ }

void CBurnInRun::requestStop()
{
    m_stopRequested = true;
    m_gate.wakeWaiters();
}

CBurnInRun::End CBurnInRun::run()
{
    const End end = runCards();
    // Freed here, on the run's thread: a long run's numbers take the GUI thread, which lets go
    // of the job last, a frame or more to free.
    m_seenNumbers = QSet<QString>();
    return end;
}

CBurnInRun::End CBurnInRun::runCards()
{
    int failuresInARow = 0;
    for (int index = 1; index <= m_settings.cards; ++index) {
        if (m_stopRequested)
            return End::Stopped;
        switch (runCard(index)) {
        case Outcome::BoxEmpty:
            return End::BoxEmpty;
        case Outcome::CardLeftAtFront:
            return End::CardLeftAtFront;
        case Outcome::Interrupted:
            return End::Interrupted;
        case Outcome::Recorded:
            break;
        }
        failuresInARow = m_card.passed ? 0 : failuresInARow + 1;
        if (!m_card.passed && m_settings.stopOnFailure)
            return End::StoppedOnFailure;
        if (failuresInARow == kFailureStreak)
            return End::FailureStreak;
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
    QElapsedTimer elapsed;
    elapsed.start();
    const std::chrono::nanoseconds libraryBefore = m_libraryTime;

    const Outcome outcome = runSteps();
    if (outcome != Outcome::Recorded)
        return outcome;

    m_card.elapsedNs = elapsed.nsecsElapsed();
    m_card.elapsedMs = m_card.elapsedNs / 1000000;
    m_card.libraryNs = (m_libraryTime - libraryBefore).count();
    if (!m_card.cardNumber.isEmpty()) {
        m_card.duplicate = m_seenNumbers.contains(m_card.cardNumber);
        m_seenNumbers.insert(m_card.cardNumber);
    }
    m_sink.cardDone(m_card);
    return Outcome::Recorded;
}

CBurnInRun::Outcome CBurnInRun::runSteps()
{
    bool cardLeft = false;
    const auto open = [](const ZOV_SDK &sdk) {
        return sdk.pOpenDevice(kOpenPort, kOpenBaud, kNoText, kShortTimeout);
    };
    if (!step(BurnInStep::Open, open) || !clearChannel(cardLeft))
        return m_interrupted ? Outcome::Interrupted : Outcome::Recorded;
    if (cardLeft)
        return Outcome::CardLeftAtFront;

    int rc = 0;
    const auto dispense = [](const ZOV_SDK &sdk) {
        return sdk.pDeviceSendCard(kToReader.position, kToReader.timeout);
    };
    if (!call(BurnInStep::Dispense, dispense, rc))
        return Outcome::Interrupted;
    if (rc == kBoxEmpty)
        return Outcome::BoxEmpty;
    if (rc != kOk)
        fail(BurnInStep::Dispense, rc);
    else if (readChip())
        finishCard();
    return m_interrupted ? Outcome::Interrupted : Outcome::Recorded;
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

// A card from an earlier, failed card still in the channel: into the bin with it, or, where
// nobody can know whether the customer will come back for it, out at the front and end the run.
bool CBurnInRun::clearChannel(bool &cardLeft)
{
    char reply[kReplyBufferSize] = {};
    int rc = 0;
    if (!call(
            BurnInStep::Status,
            [&reply](const ZOV_SDK &sdk) { return sdk.pGetStatus(kShortTimeout, reply); }, rc))
        return false;
    if (rc != kOk) {
        fail(BurnInStep::Status, rc);
        return false;
    }
    if (readChannelStatus(rc, reply, sizeof reply, [](const std::string &) {}) != kCardInChannel)
        return true;
    if (m_settings.mode == BurnInMode::Capture)
        return step(BurnInStep::ClearChannel, moveTo(kToCapture));
    cardLeft = call(BurnInStep::ClearChannel, moveTo(kToFront), rc);
    return cardLeft;
}

bool CBurnInRun::readChip()
{
    if (m_settings.mode == BurnInMode::HandOut
        && !step(BurnInStep::MoveToReader, moveTo(kToReader)))
        return false;
    if (!step(BurnInStep::PowerOn,
            [](const ZOV_SDK &sdk) { return sdk.pPowerOn(kPowerSlot, kShortTimeout); }))
        return false;

    char reply[kReplyBufferSize] = {};
    int chipStatus = kChipStatusPreset;
    int replyLength = kReplyLengthPreset;
    const bool read = step(BurnInStep::ReadChip, [&](const ZOV_SDK &sdk) {
        return sdk.pGetICInfo(kChipReadMode, kCardNumberTag, kNoText, &chipStatus, reply,
            &replyLength, kNoText, kChipReadTimeout);
    });
    if (read)
        m_card.cardNumber = QString::fromStdString(readCardNumber(reply, sizeof reply));
    return read;
}

// A failed power-off fails the card, but the card still goes to its end position.
bool CBurnInRun::finishCard()
{
    if (!step(BurnInStep::PowerOff, [](const ZOV_SDK &sdk) { return sdk.pPowerOff(kShortTimeout); })
        && m_interrupted)
        return false;
    if (m_settings.mode == BurnInMode::Capture)
        return step(BurnInStep::Capture, moveTo(kToCapture));
    return step(BurnInStep::HandOut, moveTo(kToFront)) && waitForRemoval();
}

// A card not taken within the minute fails at this step; the next card finds it in the channel.
// A stop request ends the wait at once, with the card out at the front as it should be.
bool CBurnInRun::waitForRemoval()
{
    QElapsedTimer waited;
    waited.start();
    const auto done = [&](bool taken) {
        m_card.stepTime(BurnInStep::Removal) = waited.elapsed();
        if (!taken)
            fail(BurnInStep::Removal, kCardInChannel);
        return taken;
    };
    const auto pause = [&](std::chrono::milliseconds duration) {
        if (m_gate.wait(duration, m_stopRequested))
            return true;
        m_interrupted = m_gate.stopRequested();
        return false;
    };
    if (!pause(kRemovalHeadStart))
        return !m_interrupted && done(true);
    for (int poll = 0; poll < kRemovalPolls; ++poll) {
        char reply[kReplyBufferSize] = {};
        int rc = 0;
        if (!timedCall(
                [&reply](const ZOV_SDK &sdk) { return sdk.pGetStatus(kShortTimeout, reply); }, rc))
            return false;
        if (readChannelStatus(rc, reply, sizeof reply, [](const std::string &) {}) <= 0)
            return done(true);
        if (!pause(kRemovalPollPause))
            return !m_interrupted && done(true);
    }
    return done(false);
}
