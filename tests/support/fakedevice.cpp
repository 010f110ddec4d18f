// SPDX-License-Identifier: MIT
#include "fakedevice.h"

#include "engine/device/zov_sdk.h"

#include <QHash>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace {

constexpr std::size_t kBufferSize = 1024;

struct State
{
    std::mutex mutex;
    std::condition_variable changed;
    QStringList calls;
    QHash<QString, QList<FakeAnswer>> scripted;
    QHash<QString, FakeAnswer> defaults;
    int inside = 0;
    int overlaps = 0;
    QString heldFunction;
    std::chrono::milliseconds holdTimeout {0};
    int holding = 0;
    bool released = false;
    bool tracking = false;
    enum class Place { Box, Reader, Front, Bin, Customer } place = Place::Box;
    bool handedOut = false;
    bool powered = false;
    bool customerAway = false;
};

State &state()
{
    static State s;
    return s;
}

QByteArray emptyChannelReply()
{
    return R"({"Ret":0,"Channel":"cp35"})";
}

QByteArray cardNumberReply()
{
    return QByteArray(R"({"Ret":0,"Data":{"5A":")") + FakeDevice::kDefaultCardNumber + "\"}}";
}

QString text(const char *value)
{
    return value ? '"' + QString::fromUtf8(value) + '"' : QString("NULL");
}

QString intPointer(const int *value)
{
    return value ? '&' + QString::number(*value) : QString("NULL");
}

QString buffer(const char *value)
{
    if (!value)
        return "NULL";
    return std::all_of(value, value + kBufferSize, [](char c) { return c == 0; }) ? "zeroed"
                                                                                  : "dirty";
}

void writeReply(char *reply, const QByteArray &text)
{
    if (!reply || text.isNull())
        return;
    const std::size_t size = std::min<std::size_t>(text.size(), kBufferSize);
    std::memcpy(reply, text.constData(), size);
    if (size < kBufferSize)
        reply[size] = '\0';
}

// Blocks the call while its function is held; the wait lets go of the state's lock meanwhile.
void holdIfAsked(std::unique_lock<std::mutex> &lock, const QString &function)
{
    State &s = state();
    if (s.heldFunction != function || s.released)
        return;
    ++s.holding;
    s.changed.notify_all();
    s.changed.wait_for(lock, s.holdTimeout, [&s] { return s.released; });
    --s.holding;
}

bool inChannel(State::Place place)
{
    return place == State::Place::Reader || place == State::Place::Front;
}

QByteArray channelReply(State::Place place)
{
    switch (place) {
    case State::Place::Reader:
        return R"({"Ret":0,"Channel":"cp31"})";
    case State::Place::Front:
        return R"({"Ret":0,"Channel":"cp34"})";
    default:
        return emptyChannelReply();
    }
}

// The card's way through a tracked device: refuses what a real one could not do and moves the
// card where a successful call takes it.
void track(State &s, const QString &function, const QString &position, FakeAnswer &answer)
{
    using Place = State::Place;
    const bool moving = function == "deviceMoveCard";
    const bool impossible = (moving && !inChannel(s.place))
        || (function == "deviceSendCard" && inChannel(s.place))
        || (function == "powerOn" && s.place != Place::Reader)
        || (function == "getICInfo" && (!s.powered || s.place != Place::Reader));
    if (impossible) {
        answer = FakeAnswer {function, FakeDevice::kImpossibleCall, {}};
        return;
    }
    if (function == "getStatus") {
        if (answer.code == 0 && answer.reply.contains("cp3")) {
            s.place = answer.reply.contains("cp31") ? Place::Reader
                : answer.reply.contains("cp34")     ? Place::Front
                                                    : s.place;
        }
        // A card handed out is taken by the customer, unless away.
        if (s.place == Place::Front && s.handedOut && !s.customerAway)
            s.place = Place::Customer;
        if (answer.reply == emptyChannelReply())
            answer.reply = channelReply(s.place);
        return;
    }
    if (answer.code != 0)
        return;
    if (function == "deviceSendCard")
        s.place = Place::Reader;
    else if (function == "powerOn")
        s.powered = true;
    else if (function == "powerOff")
        s.powered = false;
    else if (moving) {
        s.place = position == "cp31" ? Place::Reader
            : position == "cp34"     ? Place::Front
                                     : Place::Bin;
        s.powered = s.powered && s.place == Place::Reader;
        s.handedOut = s.place == Place::Front;
    }
}

// Records the call, counts overlaps, honours a hold and returns the answer to give.
FakeAnswer enter(const QString &function, const QString &args, const QString &position = {})
{
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.inside++ > 0)
        ++s.overlaps;
    s.calls << function + '(' + args + ')';
    holdIfAsked(lock, function);
    QList<FakeAnswer> &queue = s.scripted[function];
    FakeAnswer answer = queue.isEmpty() ? s.defaults.value(function, FakeAnswer {function, 0, {}})
                                        : queue.takeFirst();
    if (s.tracking)
        track(s, function, position, answer);
    return answer;
}

int leave(const FakeAnswer &answer, char *reply = nullptr)
{
    writeReply(reply, answer.reply);
    const std::lock_guard<std::mutex> lock(state().mutex);
    --state().inside;
    return answer.code;
}

extern "C" {

int fakeOpenDevice(int port, int baud, const char *param, int timeout)
{
    return leave(enter(
        "openDevice", QString("%1, %2, %3, %4").arg(port).arg(baud).arg(text(param)).arg(timeout)));
}

int fakeCloseDevice(int timeout)
{
    return leave(enter("closeDevice", QString::number(timeout)));
}

int fakeGetStatus(int timeout, char *reply)
{
    const QString args = QString("%1, %2").arg(timeout).arg(buffer(reply));
    return leave(enter("getStatus", args), reply);
}

int fakePowerOn(int slot, int timeout)
{
    return leave(enter("powerOn", QString("%1, %2").arg(slot).arg(timeout)));
}

int fakePowerOff(int timeout)
{
    return leave(enter("powerOff", QString::number(timeout)));
}

int fakeDeviceEnterCard(int timeout)
{
    return leave(enter("deviceEnterCard", QString::number(timeout)));
}

int fakeDeviceMoveCard(const char *position, int timeout)
{
    return leave(enter("deviceMoveCard", QString("%1, %2").arg(text(position)).arg(timeout),
        QString::fromUtf8(position ? position : "")));
}

int fakeDeviceSendCard(const char *position, int timeout)
{
    return leave(enter("deviceSendCard", QString("%1, %2").arg(text(position)).arg(timeout)));
}

int fakeGetICInfo(int mode, const char *tag, const char *option, int *status, char *reply,
    int *replyLength, const char *extra, int timeout)
{
    const QString args = QString("%1, %2, %3, %4, %5, %6, %7, %8")
                             .arg(mode)
                             .arg(text(tag), text(option), intPointer(status), buffer(reply),
                                 intPointer(replyLength), text(extra))
                             .arg(timeout);
    return leave(enter("getICInfo", args), reply);
}

int fakeGetICInfoARQC()
{
    return leave(enter("getICInfoARQC", QString()));
}

} // extern "C"

} // namespace

namespace FakeDevice {

void reset()
{
    State &s = state();
    const std::lock_guard<std::mutex> lock(s.mutex);
    s.calls.clear();
    s.scripted.clear();
    s.defaults.clear();
    s.defaults.insert("getStatus", FakeAnswer {"getStatus", 0, emptyChannelReply()});
    s.defaults.insert("getICInfo", FakeAnswer {"getICInfo", 0, cardNumberReply()});
    s.overlaps = 0;
    s.heldFunction.clear();
    s.released = false;
    s.tracking = false;
    s.place = State::Place::Box;
    s.handedOut = false;
    s.powered = false;
    s.customerAway = false;
}

void trackCard()
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    state().tracking = true;
}

void customerAway()
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    state().customerAway = true;
}

void install(ZOV_SDK &sdk)
{
    sdk.pOpenDevice = fakeOpenDevice;
    sdk.pCloseDevice = fakeCloseDevice;
    sdk.pGetStatus = fakeGetStatus;
    sdk.pPowerOn = fakePowerOn;
    sdk.pPowerOff = fakePowerOff;
    sdk.pDeviceEnterCard = fakeDeviceEnterCard;
    sdk.pDeviceMoveCard = fakeDeviceMoveCard;
    sdk.pDeviceSendCard = fakeDeviceSendCard;
    sdk.pGetICInfo = fakeGetICInfo;
    sdk.pGetICInfoARQC = fakeGetICInfoARQC;
}

void uninstall(ZOV_SDK &sdk)
{
    sdk.pOpenDevice = nullptr;
    sdk.pCloseDevice = nullptr;
    sdk.pGetStatus = nullptr;
    sdk.pPowerOn = nullptr;
    sdk.pPowerOff = nullptr;
    sdk.pDeviceEnterCard = nullptr;
    sdk.pDeviceMoveCard = nullptr;
    sdk.pDeviceSendCard = nullptr;
    sdk.pGetICInfo = nullptr;
    sdk.pGetICInfoARQC = nullptr;
}

void script(const FakeScript &answers)
{
    State &s = state();
    const std::lock_guard<std::mutex> lock(s.mutex);
    for (const FakeAnswer &answer : answers)
        s.scripted[answer.function].append(answer);
}

void setDefault(const FakeAnswer &answer)
{
    State &s = state();
    const std::lock_guard<std::mutex> lock(s.mutex);
    s.defaults.insert(answer.function, answer);
}

void record(const QString &line)
{
    State &s = state();
    const std::lock_guard<std::mutex> lock(s.mutex);
    s.calls << line;
}

QStringList calls()
{
    State &s = state();
    const std::lock_guard<std::mutex> lock(s.mutex);
    return s.calls;
}

int overlaps()
{
    State &s = state();
    const std::lock_guard<std::mutex> lock(s.mutex);
    return s.overlaps;
}

void hold(const QString &function, int timeoutMs)
{
    State &s = state();
    const std::lock_guard<std::mutex> lock(s.mutex);
    s.heldFunction = function;
    s.holdTimeout = std::chrono::milliseconds(timeoutMs);
    s.released = false;
}

bool waitUntilHeld(int timeoutMs)
{
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.changed.wait_for(
        lock, std::chrono::milliseconds(timeoutMs), [&s] { return s.holding > 0; });
}

void release()
{
    State &s = state();
    {
        const std::lock_guard<std::mutex> lock(s.mutex);
        s.released = true;
    }
    s.changed.notify_all();
}

} // namespace FakeDevice

FakeAnswer statusAnswer(const char *channel)
{
    return FakeAnswer {"getStatus", 0, QByteArray(R"({"Ret":0,"Channel":")") + channel + "\"}"};
}

FakeAnswer chipAnswer(const QByteArray &reply)
{
    return FakeAnswer {"getICInfo", 0, reply};
}

FakeAnswer codeAnswer(const QString &function, int code)
{
    return FakeAnswer {function, code, {}};
}
