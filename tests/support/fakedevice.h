// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

class ZOV_SDK;

// One scripted answer of the fake device library: the code that a call of the function returns
// and, for getStatus and getICInfo, the reply that it writes into the caller's buffer.
struct FakeAnswer
{
    QString function;
    int code = 0;
    QByteArray reply;
};
using FakeScript = QList<FakeAnswer>;
Q_DECLARE_METATYPE(FakeScript)

// A device library made of plain functions, for a loader whose entries the test fills in. Every
// call is recorded as the call it was, e.g. deviceMoveCard("cp34", 10); a reply buffer shows as
// "zeroed" when its 1024 bytes were all zero on entry, as "dirty" otherwise. Answers come from the
// script, one per call of that function, then from the function's default: code 0, an empty
// channel for getStatus and a card number for getICInfo. Process-wide and thread-safe.
namespace FakeDevice {

inline constexpr char kDefaultCardNumber[] = "6217001234567890123";
// What a tracked device answers to a call that a real one could not carry out (see trackCard),
// whatever the script says.
inline constexpr int kImpossibleCall = -99;

void reset();
void install(ZOV_SDK &sdk);
// Call before the loader is destroyed when it holds no library of its own.
void uninstall(ZOV_SDK &sdk);

// From now on the device knows where its card is: in the box, at the reader (cp31), at the front
// (cp34) or in the bin, and whether the chip is powered. A card goes only where a call that
// succeeded took it; a call without a card where it needs one (a move, power-on, a chip read) or
// a dispense into a full channel answers kImpossibleCall. getStatus's default reply tells the
// card's place; a scripted reply that names a place puts a card there. The customer takes a card
// from the front at the next status query, unless customerAway() was called.
void trackCard();
void customerAway();

void script(const FakeScript &answers);
void setDefault(const FakeAnswer &answer);

// Adds a line of the test's own (such as a wait) to the record, in order with the calls.
void record(const QString &line);
QStringList calls();
// How many calls started while another call was still inside the library.
int overlaps();

// Makes every call of function block until release(), or at most timeoutMs, so a test can find a
// call in progress and can never hang on one.
void hold(const QString &function, int timeoutMs = 5000);
bool waitUntilHeld(int timeoutMs);
void release();

} // namespace FakeDevice

// The calls as the fake records them, with the arguments the tool always passes.
namespace FakeCall {
inline const QString kOpen = QStringLiteral(R"(openDevice(0, 115200, "", 5))");
inline const QString kClose = QStringLiteral("closeDevice(5)");
inline const QString kStatus = QStringLiteral("getStatus(5, zeroed)");
inline const QString kSend = QStringLiteral(R"(deviceSendCard("cp31", 30))");
inline const QString kMoveToReader = QStringLiteral(R"(deviceMoveCard("cp31", 30))");
inline const QString kPowerOn = QStringLiteral("powerOn(0, 5)");
inline const QString kRead = QStringLiteral(R"(getICInfo(2, "5A", "", &-1, zeroed, &0, "", 20))");
inline const QString kPowerOff = QStringLiteral("powerOff(5)");
inline const QString kMoveToFront = QStringLiteral(R"(deviceMoveCard("cp34", 10))");
inline const QString kMoveToCapture = QStringLiteral(R"(deviceMoveCard("cp35", 5))");
inline const QString kEnter = QStringLiteral("deviceEnterCard(10)");
// The waits a test asks for, as the tests record them among the calls.
inline const QString kHeadStart = QStringLiteral("wait(3000)");
inline const QString kPollPause = QStringLiteral("wait(500)");
} // namespace FakeCall

// Scripted answers for the replies the tests use most.
FakeAnswer statusAnswer(const char *channel);
FakeAnswer chipAnswer(const QByteArray &reply);
FakeAnswer codeAnswer(const QString &function, int code);
