// SPDX-License-Identifier: MIT
#include "dispensermodel.h"

#include "cardnumber.h"
#include "clock.h"
#include "simcodes.h"

namespace varnaksim {

const char *positionCode(Position position)
{
    switch (position) {
    case Position::Reader:
        return "cp31";
    case Position::Front:
        return "cp34";
    case Position::Empty:
        break;
    }
    return "cp35";
}

std::string statusJson(const Snapshot &snapshot)
{
    return std::string(R"({"Ret":0,"Channel":")") + positionCode(snapshot.channel) + R"(","Box":)"
        + std::to_string(snapshot.cardsInBox) + R"(,"Captured":)"
        + std::to_string(snapshot.captured) + R"(,"Chip":")" + (snapshot.chipPowered ? "on" : "off")
        + R"("})";
}

DispenserModel::DispenserModel(const ModelSettings &settings, Clock &clock)
    : m_settings(settings)
    , m_clock(clock)
    , m_chance(settings.seed)
{
    m_state.cardsInBox = settings.cards < 0 ? 0 : settings.cards;
}

int DispenserModel::open()
{
    m_state.open = true;
    return simcode::Ok;
}

int DispenserModel::close()
{
    if (!m_state.open)
        return simcode::NotOpen;
    m_state.open = false;
    m_state.chipPowered = false;
    return simcode::Ok;
}

int DispenserModel::status(Snapshot &out)
{
    if (!m_state.open)
        return simcode::NotOpen;
    out = snapshot();
    return simcode::Ok;
}

int DispenserModel::sendCard()
{
    letCustomerAct();
    if (!m_state.open)
        return simcode::NotOpen;
    if (m_state.channel != Position::Empty)
        return simcode::ChannelOccupied;
    if (m_state.cardsInBox == 0)
        return simcode::BoxEmpty;
    --m_state.cardsInBox;
    placeNewCard(Position::Reader);
    return simcode::Ok;
}

int DispenserModel::moveCard(MoveTarget target)
{
    letCustomerAct();
    if (!m_state.open)
        return simcode::NotOpen;
    if (m_state.channel == Position::Empty)
        return simcode::NoCard;
    // Refused before anything moves, so the card, its chip power and the customer's timer stay.
    if (target == MoveTarget::Capture && binFull())
        return simcode::BinFull;
    // The contacts lift off the chip whenever the card travels.
    m_state.chipPowered = false;
    m_takeAtMs.reset();
    switch (target) {
    case MoveTarget::Reader:
        m_state.channel = Position::Reader;
        break;
    case MoveTarget::Front:
        m_state.channel = Position::Front;
        if (m_settings.takeDelayMs)
            m_takeAtMs = m_clock.nowMs()
                + m_chance.between(*m_settings.takeDelayMs, m_settings.takeDelayMaxMs);
        break;
    case MoveTarget::Capture:
        ++m_state.captured;
        clearChannel();
        break;
    }
    return simcode::Ok;
}

int DispenserModel::enterCard(std::int64_t timeoutMs)
{
    letCustomerAct();
    if (!m_state.open)
        return simcode::NotOpen;
    if (m_state.channel != Position::Empty)
        return simcode::ChannelOccupied;
    const auto &insertDelay = m_settings.insertDelayMs;
    const std::optional<std::int64_t> delay = insertDelay
        ? std::optional(m_chance.between(*insertDelay, m_settings.insertDelayMaxMs))
        : std::nullopt;
    if (!delay || *delay > timeoutMs) {
        m_clock.sleepMs(timeoutMs);
        return simcode::InsertTimeout;
    }
    m_clock.sleepMs(*delay);
    // The customer who just inserted a card waits for the device; no take timer for it.
    placeNewCard(Position::Front);
    ++m_state.inserted;
    return simcode::Ok;
}

int DispenserModel::powerOn()
{
    letCustomerAct();
    if (!m_state.open)
        return simcode::NotOpen;
    if (m_state.channel != Position::Reader)
        return simcode::NoCardAtReader;
    m_state.chipPowered = true;
    return simcode::Ok;
}

int DispenserModel::powerOff()
{
    if (!m_state.open)
        return simcode::NotOpen;
    m_state.chipPowered = false;
    return simcode::Ok;
}

int DispenserModel::readCardNumber(std::string &number)
{
    if (!m_state.open)
        return simcode::NotOpen;
    if (!m_state.chipPowered)
        return simcode::ChipNotPowered;
    number = m_state.cardNumber;
    return simcode::Ok;
}

Snapshot DispenserModel::snapshot()
{
    letCustomerAct();
    return m_state;
}

void DispenserModel::letCustomerAct()
{
    if (m_takeAtMs && m_clock.nowMs() >= *m_takeAtMs) {
        ++m_state.taken;
        clearChannel();
    }
}

void DispenserModel::placeNewCard(Position where)
{
    m_state.channel = where;
    m_state.cardNumber = cardNumberForSerial(m_settings.serialBase + m_nextSerial++);
}

void DispenserModel::clearChannel()
{
    m_state.channel = Position::Empty;
    m_state.cardNumber.clear();
    m_state.chipPowered = false;
    m_takeAtMs.reset();
}

// Nothing ever empties the bin, so what it holds is every card captured since the library loaded.
bool DispenserModel::binFull() const
{
    return m_settings.binCapacity && m_state.captured >= *m_settings.binCapacity;
}

} // namespace varnaksim
