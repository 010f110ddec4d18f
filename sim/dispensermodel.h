// SPDX-License-Identifier: MIT
#ifndef VARNAK_SIM_DISPENSERMODEL_H
#define VARNAK_SIM_DISPENSERMODEL_H

#include "chance.h"

#include <cstdint>
#include <optional>
#include <string>

namespace varnaksim {

class Clock;

// Where the one card the channel can hold stands.
enum class Position { Empty, Reader, Front };
enum class MoveTarget { Reader, Front, Capture };

// The device's own names: cp31 reader, cp34 front; an empty channel reads as cp35.
const char *positionCode(Position position);

struct ModelSettings
{
    // A real dispenser's box, so a burn-in run of the default length ends before the box does.
    int cards = 500;
    // nullopt: the customer never takes a card handed out at the front.
    std::optional<std::int64_t> takeDelayMs = 1500;
    // nullopt: nobody ever inserts a card, so waiting for one always times out.
    std::optional<std::int64_t> insertDelayMs = 1000;
    // Above the delay: each card's delay is drawn from the delay up to this value.
    std::int64_t takeDelayMaxMs = 0;
    std::int64_t insertDelayMaxMs = 0;
    std::uint64_t seed = 0;
    // The first card's serial is the one after it (see cardnumber.h); SimConfig draws it per start.
    std::uint64_t serialBase = 0;
    // nullopt: the capture bin never fills.
    std::optional<int> binCapacity = std::nullopt;
};

struct Snapshot
{
    bool open = false;
    Position channel = Position::Empty;
    bool chipPowered = false;
    int cardsInBox = 0;
    int captured = 0;
    int taken = 0;
    int inserted = 0;
    std::string cardNumber;
};

std::string statusJson(const Snapshot &snapshot);

// State machine of the dispenser and its customer. Not thread-safe: the caller serialises.
// The customer acts lazily: a handed-out card is found gone the next time anything looks.
class DispenserModel
{
public:
    DispenserModel(const ModelSettings &settings, Clock &clock);

    int open();
    int close();
    int status(Snapshot &out);
    int sendCard();
    int moveCard(MoveTarget target);
    int enterCard(std::int64_t timeoutMs);
    int powerOn();
    int powerOff();
    int readCardNumber(std::string &number);

    // Unlike status(), answers on a closed device too: for diagnostics and tests.
    Snapshot snapshot();

private:
    void letCustomerAct();
    void placeNewCard(Position where);
    void clearChannel();
    bool binFull() const;

    ModelSettings m_settings;
    Clock &m_clock;
    Chance m_chance;
    Snapshot m_state;
    std::optional<std::int64_t> m_takeAtMs;
    std::uint64_t m_nextSerial = 1;
};

} // namespace varnaksim

#endif // VARNAK_SIM_DISPENSERMODEL_H
