// SPDX-License-Identifier: MIT
#include "cardnumber.h"
#include "clock.h"
#include "dispensermodel.h"
#include "simcodes.h"

#include <QtTest>

#include <functional>
#include <map>
#include <set>

using namespace varnaksim;

// A column type of a data table; Qt 5 does not register it by itself.
Q_DECLARE_METATYPE(std::optional<std::int64_t>)

namespace {

class ManualClock final : public Clock
{
public:
    std::int64_t nowMs() const override { return now; }
    void sleepMs(std::int64_t ms) override { now += ms; }
    std::int64_t now = 1000000;
};

// Runs "op:expected" steps ("wait:ms" lets time pass); returns the first step that went wrong.
QString runScript(DispenserModel &model, ManualClock &clock, const QString &script)
{
    std::string number;
    Snapshot snapshot;
    const std::map<QString, std::function<int()>> ops = {
        {"open", [&] { return model.open(); }},
        {"close", [&] { return model.close(); }},
        {"status", [&] { return model.status(snapshot); }},
        {"send", [&] { return model.sendCard(); }},
        {"reader", [&] { return model.moveCard(MoveTarget::Reader); }},
        {"front", [&] { return model.moveCard(MoveTarget::Front); }},
        {"capture", [&] { return model.moveCard(MoveTarget::Capture); }},
        {"enter", [&] { return model.enterCard(10000); }},
        {"powerOn", [&] { return model.powerOn(); }},
        {"powerOff", [&] { return model.powerOff(); }},
        {"read", [&] { return model.readCardNumber(number); }},
    };
    for (const QString &step : script.split(' ', Qt::SkipEmptyParts)) {
        const QString op = step.section(':', 0, 0);
        const QString arg = step.section(':', 1);
        if (op == "wait") {
            clock.now += arg.toLongLong();
            continue;
        }
        const int result = ops.at(op)();
        if (result != arg.toInt())
            return step + " got " + QString::number(result);
    }
    return {};
}

} // namespace

class TestDispenserModel : public QObject
{
    Q_OBJECT

private slots:
    void stateMachine_data();
    void stateMachine();
    void insertion_data();
    void insertion();
    void customerSwitchedOff();
    void randomCustomer();
    void luhn_data();
    void luhn();
    void cardNumbersValidAndDistinct();
};

void TestDispenserModel::stateMachine_data()
{
    QTest::addColumn<int>("cards");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("channel");
    QTest::addColumn<int>("box");
    QTest::addColumn<int>("captured");

    const auto row = [](const char *name, int cards, const char *script, const char *channel,
                         int box, int captured) {
        QTest::newRow(name) << cards << script << channel << box << captured;
    };
    row("issue", 50, "open:0 send:0 powerOn:0 read:0 powerOff:0 front:0", "cp34", 49, 0);
    row("capture dispensed", 50, "open:0 send:0 capture:0", "cp35", 49, 1);
    row("capture inserted", 50, "open:0 enter:0 capture:0", "cp35", 50, 1);
    row("read inserted", 50, "open:0 enter:0 reader:0 powerOn:0 read:0", "cp31", 50, 0);
    row("box runs empty", 1, "open:0 send:0 capture:0 send:-10", "cp35", 0, 1);
    row("empty box at start", 0, "open:0 send:-10", "cp35", 0, 0);
    row("channel occupied", 50, "open:0 send:0 send:-15 enter:-15", "cp31", 49, 0);
    row("power without card", 50, "open:0 powerOn:-13", "cp35", 50, 0);
    row("power at front", 50, "open:0 send:0 front:0 powerOn:-13", "cp34", 49, 0);
    row("read unpowered", 50, "open:0 send:0 read:-14", "cp31", 49, 0);
    row("move cuts power", 50, "open:0 send:0 powerOn:0 front:0 reader:0 read:-14", "cp31", 49, 0);
    row("move without card", 50, "open:0 reader:-12 front:-12 capture:-12", "cp35", 50, 0);
    row("closed device", 50,
        "close:-11 status:-11 send:-11 enter:-11 capture:-11 powerOn:-11 powerOff:-11 read:-11",
        "cp35", 50, 0);
    row("close cuts power", 50, "open:0 send:0 powerOn:0 close:0 open:0 read:-14", "cp31", 49, 0);
    row("reopen keeps state", 50, "open:0 send:0 open:0 status:0 capture:0", "cp35", 49, 1);
    row("not yet taken", 50, "open:0 send:0 front:0 wait:1499 send:-15", "cp34", 49, 0);
    row("taken", 50, "open:0 send:0 front:0 wait:1500 send:0", "cp31", 48, 0);
    row("timer restarts", 50, "open:0 send:0 front:0 wait:1000 front:0 wait:1000", "cp34", 49, 0);
    row("own card not taken back", 50, "open:0 enter:0 wait:86400000", "cp34", 50, 0);
}

void TestDispenserModel::stateMachine()
{
    QFETCH(int, cards);
    QFETCH(QString, script);
    QFETCH(QString, channel);
    QFETCH(int, box);
    QFETCH(int, captured);
    ManualClock clock;
    DispenserModel model({cards, 1500, 1000}, clock);

    QCOMPARE(runScript(model, clock, script), QString());
    const Snapshot state = model.snapshot();
    QCOMPARE(QString(positionCode(state.channel)), channel);
    QCOMPARE(state.cardsInBox, box);
    QCOMPARE(state.captured, captured);
    QCOMPARE(state.cardNumber.empty(), state.channel == Position::Empty);
}

void TestDispenserModel::insertion_data()
{
    QTest::addColumn<std::optional<std::int64_t>>("insertDelay");
    QTest::addColumn<std::int64_t>("timeout");
    QTest::addColumn<int>("result");
    QTest::addColumn<std::int64_t>("blocked");

    using Ms = std::optional<std::int64_t>;
    QTest::newRow("inserted") << Ms(1000) << std::int64_t(10000) << 0 << std::int64_t(1000);
    QTest::newRow("nobody") << Ms() << std::int64_t(10000) << -16 << std::int64_t(10000);
    QTest::newRow("too slow") << Ms(3000) << std::int64_t(2000) << -16 << std::int64_t(2000);
}

void TestDispenserModel::insertion()
{
    QFETCH(std::optional<std::int64_t>, insertDelay);
    QFETCH(std::int64_t, timeout);
    QFETCH(int, result);
    QFETCH(std::int64_t, blocked);
    ManualClock clock;
    DispenserModel model({50, 1500, insertDelay}, clock);
    model.open();
    const std::int64_t start = clock.now;

    QCOMPARE(model.enterCard(timeout), result);
    QCOMPARE(clock.now - start, blocked);
    const Snapshot state = model.snapshot();
    QCOMPARE(state.channel, result == simcode::Ok ? Position::Front : Position::Empty);
    QCOMPARE(state.inserted, result == simcode::Ok ? 1 : 0);
}

void TestDispenserModel::customerSwitchedOff()
{
    ManualClock clock;
    DispenserModel model({50, std::nullopt, std::nullopt}, clock);
    QCOMPARE(runScript(model, clock, "open:0 send:0 front:0 wait:86400000 enter:-15"), QString());
    QCOMPARE(model.snapshot().channel, Position::Front);
    QCOMPARE(model.snapshot().taken, 0);
}

// Each card gets its own delays, drawn from the ranges: taken no sooner and no later than they
// allow, and inserted in time or not at all.
void TestDispenserModel::randomCustomer()
{
    ManualClock clock;
    ModelSettings settings;
    settings.takeDelayMs = 100;
    settings.takeDelayMaxMs = 300;
    settings.insertDelayMs = 1000;
    settings.insertDelayMaxMs = 3000;
    settings.seed = 3;
    DispenserModel model(settings, clock);
    model.open();
    std::set<std::int64_t> takeDelays;
    std::set<int> enterResults;
    for (int card = 0; card < 20; ++card) {
        QCOMPARE(runScript(model, clock, "send:0 front:0 wait:99"), QString());
        QCOMPARE(model.snapshot().channel, Position::Front);
        std::int64_t waited = 99;
        while (model.snapshot().channel == Position::Front && waited < 300) {
            ++clock.now;
            ++waited;
        }
        QCOMPARE(model.snapshot().channel, Position::Empty);
        takeDelays.insert(waited);

        const std::int64_t before = clock.now;
        const int result = model.enterCard(2000);
        enterResults.insert(result);
        QVERIFY(clock.now - before >= (result == simcode::Ok ? 1000 : 2000));
        QVERIFY(clock.now - before <= 2000);
        if (result == simcode::Ok)
            QCOMPARE(runScript(model, clock, "capture:0"), QString());
    }
    QVERIFY(takeDelays.size() > 5);
    QCOMPARE(enterResults, (std::set<int> {simcode::Ok, simcode::InsertTimeout}));
}

void TestDispenserModel::luhn_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("valid");

    QTest::newRow("textbook") << "79927398713" << true;
    QTest::newRow("test card") << "4111111111111111" << true;
    QTest::newRow("last digit off") << "4111111111111112" << false;
    QTest::newRow("swapped digits") << "79927398731" << false;
    QTest::newRow("not digits") << "7992739871x" << false;
}

void TestDispenserModel::luhn()
{
    QFETCH(QString, number);
    QFETCH(bool, valid);
    QCOMPARE(isLuhnValid(number.toStdString()), valid);
    if (valid)
        QCOMPARE(luhnCheckDigit(number.chopped(1).toStdString()), number.back().toLatin1());
}

void TestDispenserModel::cardNumbersValidAndDistinct()
{
    ManualClock clock;
    DispenserModel model({50, 1500, 1000}, clock);
    model.open();
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        // Dispensed and customer-inserted cards alternate: both kinds need their own number.
        QCOMPARE(runScript(model, clock, i % 2 ? "enter:0 reader:0" : "send:0"), QString());
        QCOMPARE(model.powerOn(), simcode::Ok);
        std::string number;
        QCOMPARE(model.readCardNumber(number), simcode::Ok);
        QVERIFY2(number.size() == 19 && number.rfind("62", 0) == 0, number.c_str());
        QVERIFY2(isLuhnValid(number), number.c_str());
        QVERIFY2(seen.insert(number).second, number.c_str());
        QCOMPARE(model.moveCard(MoveTarget::Capture), simcode::Ok);
    }
}

QTEST_APPLESS_MAIN(TestDispenserModel)
#include "tst_dispensermodel.moc"
