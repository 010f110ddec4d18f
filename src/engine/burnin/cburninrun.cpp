// SPDX-License-Identifier: MIT
#include "engine/burnin/cburninrun.h"

#include "engine/device/ctestgate.h"
#include "engine/device/removalwait.h"
#include "engine/device/replyreaders.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

using namespace DeviceArguments;

constexpr int kCardInChannel = 1;
constexpr int kChannelEmpty = 0;

using DriverProtocol::move;

} // namespace

CBurnInRun::CBurnInRun(CDeviceLink &link, CTestGate &gate, const BurnInSettings &settings,
    CBurnInSink &sink, const std::atomic<bool> &stop)
    : m_link(link)
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
    const int lastCard = static_cast<int>(std::min<qint64>(
        m_settings.cards, qint64(m_settings.firstCard) + m_settings.sittingCards - 1));
    for (int index = m_settings.firstCard; index <= lastCard; ++index) {
        if (m_stop)
            return End::Stopped;
        switch (runCard(index)) {
        case Outcome::BoxEmpty:
            return End::BoxEmpty;
        case Outcome::CardLeftAtFront:
            return End::CardLeftAtFront;
        case Outcome::Interrupted:
            return End::Interrupted;
        case Outcome::Abandoned:
            m_lostCard = index;
            return End::Abandoned;
        case Outcome::HostLost:
            m_lostCard = index;
            return End::HostLost;
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
        if (failuresInARow == kFailureStreak && m_settings.endOnFailureStreak)
            return End::FailureStreak;
        if (index < m_settings.cards && m_sink.verdictSettled())
            return End::VerdictSettled;
    }
    if (lastCard < m_settings.cards)
        return End::SittingFull;
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
    m_cut = Cut::None;
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
    Reply reply;
    if (!call(BurnInStep::Open, DriverProtocol::open(m_settings.connection), reply))
        return cutShort();
    if (reply.code != kOk) {
        m_openCode = reply.code;
        return Outcome::OpenFailed;
    }
    bool cardLeft = false;
    if (!clearLeftCard(cardLeft))
        return m_cut != Cut::None ? cutShort() : Outcome::Recorded;
    if (cardLeft)
        return Outcome::CardLeftAtFront;

    if (!call(BurnInStep::Dispense, DriverProtocol::dispense(), reply))
        return cutShort();
    if (reply.code == kBoxEmpty)
        return Outcome::BoxEmpty;
    if (reply.code != kOk)
        fail(BurnInStep::Dispense, reply.code);
    if (reply.code == kOk && issue())
        return Outcome::Recorded;
    if (m_cut != Cut::None)
        return cutShort();
    if (clearFailedCard())
        return Outcome::Recorded;
    return m_cut != Cut::None ? cutShort() : Outcome::ChannelBlocked;
}

// A card whose call hung or crashed the driver is recorded as failed there, without a clean-up
// on a host that is gone; one whose open did so never began.
CBurnInRun::Outcome CBurnInRun::cutShort() const
{
    switch (m_cut) {
    case Cut::None:
    case Cut::Refused:
        return Outcome::Interrupted;
    case Cut::Abandoned:
        return Outcome::Abandoned;
    case Cut::HostLost:
        return Outcome::HostLost;
    case Cut::DriverFault:
        return m_card.failedStep == BurnInStep::Open ? Outcome::OpenFailed : Outcome::Recorded;
    }
    return Outcome::Interrupted;
}

QString CBurnInRun::openFailure() const
{
    return m_openOutcome ? burnInOutcomeName(*m_openOutcome) : QString::number(m_openCode);
}

bool CBurnInRun::timedCall(const Request &request, Reply &reply, std::optional<BurnInStep> step)
{
    CDeviceLink::Result result;
    if (!m_gate.call([&] { result = m_link.call(request); })) {
        m_interrupted = true;
        m_cut = Cut::Refused;
        return false;
    }
    m_lastCallTime = std::chrono::nanoseconds(result.ns);
    m_libraryTime += m_lastCallTime;
    switch (result.answer) {
    case CDeviceLink::Answer::Returned:
        reply = result.reply;
        return true;
    case CDeviceLink::Answer::NoReply:
    case CDeviceLink::Answer::DriverCrash: {
        const bool hung = result.answer == CDeviceLink::Answer::NoReply;
        m_sink.driverFault(
            hung ? ResultsEventKind::DriverHang : ResultsEventKind::DriverCrash, result.why);
        const BurnInOutcome outcome = hung ? BurnInOutcome::NoReply : BurnInOutcome::DriverCrash;
        m_faultOutcome = outcome;
        if (step)
            fail(*step, 0, outcome);
        if (step == BurnInStep::Open)
            m_openOutcome = outcome;
        m_cut = Cut::DriverFault;
        m_clearIntoBin = true;
        return false;
    }
    case CDeviceLink::Answer::HostLost:
        m_hostLost = result.why;
        m_cut = Cut::HostLost;
        m_clearIntoBin = true;
        return false;
    case CDeviceLink::Answer::Abandoned:
        m_cut = Cut::Abandoned;
        return false;
    }
    return false;
}

bool CBurnInRun::call(BurnInStep step, const Request &request, Reply &reply)
{
    const bool returned = timedCall(request, reply, step);
    if (!returned && m_cut != Cut::DriverFault)
        return false;
    const qint64 ms = std::chrono::duration_cast<std::chrono::milliseconds>(m_lastCallTime).count();
    qint64 &time = m_card.stepTime(step);
    time = time < 0 ? ms : time + ms;
    m_sink.stepDone(m_card.index, step, returned ? reply.code : 0, ms,
        returned ? BurnInOutcome::DeviceCode : m_faultOutcome);
    return returned;
}

bool CBurnInRun::step(BurnInStep step, const Request &request)
{
    Reply reply;
    if (!call(step, request, reply))
        return false;
    if (reply.code != kOk)
        fail(step, reply.code);
    return reply.code == kOk;
}

// Only the first failure of a card counts: it is the one that explains the card.
void CBurnInRun::fail(BurnInStep step, int code, BurnInOutcome outcome)
{
    if (!m_card.passed)
        return;
    m_card.passed = false;
    m_card.failedStep = step;
    m_card.failedCode = code;
    m_card.outcome = outcome;
}

// The channel as the status query tells it (see readChannelStatus); false when the call did not
// return.
bool CBurnInRun::queryChannel(int &status)
{
    Reply reply;
    if (!call(BurnInStep::Status, DriverProtocol::status(), reply))
        return false;
    status = readChannelStatus(
        reply.code, reply.reply, sizeof reply.reply, [](const std::string &) {});
    return true;
}

// A card that was in the channel before this one, e.g. from before the run: into the bin with
// it, or, where nobody can know whether the customer will come back for it, out at the front
// and end the run. After a lost host the card is the failed one's, which must not reach the
// customer: into the bin with it in either mode.
bool CBurnInRun::clearLeftCard(bool &cardLeft)
{
    int status = kChannelEmpty;
    if (!queryChannel(status))
        return false;
    if (status != kChannelEmpty && status != kCardInChannel) {
        fail(BurnInStep::Status, status);
        return false;
    }
    const bool intoBin = std::exchange(m_clearIntoBin, false);
    if (status == kChannelEmpty)
        return true;
    if (m_settings.mode == BurnInMode::Capture || intoBin)
        return step(BurnInStep::ClearChannel, move(kToCapture));
    Reply reply;
    cardLeft = call(BurnInStep::ClearChannel, move(kToFront), reply);
    return cardLeft;
}

// The dispensed card's way from the reader to the bin or the customer; false at the first step
// that failed.
bool CBurnInRun::issue()
{
    if (m_settings.mode == BurnInMode::HandOut && !step(BurnInStep::MoveToReader, move(kToReader)))
        return false;
    if (!step(BurnInStep::PowerOn, DriverProtocol::powerOn()))
        return false;
    m_chipPowered = true;
    if (!readChip() || !step(BurnInStep::PowerOff, DriverProtocol::powerOff()))
        return false;
    m_chipPowered = false;
    if (m_settings.mode == BurnInMode::Capture)
        return step(BurnInStep::Capture, move(kToCapture));
    return step(BurnInStep::HandOut, move(kToFront)) && waitForRemoval();
}

bool CBurnInRun::readChip()
{
    Reply reply;
    if (!call(BurnInStep::ReadChip, DriverProtocol::readChip(), reply))
        return false;
    if (reply.code != kOk) {
        fail(BurnInStep::ReadChip, reply.code);
        return false;
    }
    m_card.cardNumber = QString::fromStdString(readCardNumber(reply.reply, sizeof reply.reply));
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
        Reply reply;
        if (!timedCall(DriverProtocol::status(), reply, BurnInStep::Removal))
            return RemovalWait::Poll::Refused;
        const int status = readChannelStatus(
            reply.code, reply.reply, sizeof reply.reply, [](const std::string &) {});
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
        if (m_cut != Cut::None)
            return false;
        m_interrupted = m_gate.stopRequested();
        if (m_interrupted)
            m_cut = Cut::Refused;
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
    Reply reply;
    if (m_chipPowered && !call(BurnInStep::PowerOff, DriverProtocol::powerOff(), reply))
        return false;
    int status = kChannelEmpty;
    if (!queryChannel(status))
        return false;
    if (status == kChannelEmpty)
        return true;
    if (status == kCardInChannel) {
        if (!call(BurnInStep::ClearChannel, move(kToCapture), reply))
            return false;
        if (reply.code == kOk)
            return true;
        m_channelError = QStringLiteral("%1：%2")
                             .arg(burnInStepName(BurnInStep::ClearChannel))
                             .arg(reply.code);
        return false;
    }
    m_channelError = QStringLiteral("%1：%2").arg(burnInStepName(BurnInStep::Status)).arg(status);
    return false;
}
