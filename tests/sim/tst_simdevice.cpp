// SPDX-License-Identifier: MIT
#include "cardnumber.h"
#include "clock.h"
#include "simcodes.h"
#include "simconfig.h"
#include "simdevice.h"

#include <QtTest>

#include <functional>
#include <map>
#include <set>

using namespace varnaksim;

using DeviceCall = std::function<int(SimDevice &)>;
Q_DECLARE_METATYPE(DeviceCall)

namespace {

class ManualClock final : public Clock
{
public:
    std::int64_t nowMs() const override { return now; }
    void sleepMs(std::int64_t ms) override { now += ms; }
    std::int64_t now = 0;
};

SimConfig configFrom(const std::map<std::string, std::string> &env)
{
    return SimConfig::fromLookup([&env](const std::string &name) -> const char * {
        const auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    });
}

// From "CARDS=3 BIN=1", the variables' names without their prefix.
SimConfig configFrom(const QString &pairs)
{
    std::map<std::string, std::string> env;
    for (const QString &pair : pairs.split(' '))
        env["VARNAK_SIM_" + pair.section('=', 0, 0).toStdString()]
            = pair.section('=', 1).toStdString();
    return configFrom(env);
}

QString text(const std::optional<std::int64_t> &value)
{
    return value ? QString::number(*value) : QStringLiteral("none");
}

int readCard(SimDevice &device, char *reply)
{
    int in1 = -1;
    int in2 = 0;
    return device.getICInfo(2, "5A", "", &in1, reply, &in2, "", 20);
}

} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void openConnection_data();
    void openConnection();
    void badArguments_data();
    void badArguments();
    void forcedResultDoesNothingElse();
    void forcedReplies();
    void replyTruncation_data();
    void replyTruncation();
    void configParsing_data();
    void configParsing();
    void randomFailuresAndLatency();
    void sameSeedSameRun();
    void cardNumbersPerStart_data();
    void cardNumbersPerStart();
    void captureBin_data();
    void captureBin();
    void periodicFailures_data();
    void periodicFailures();
};

void TestSimDevice::openConnection_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QByteArray>("bp");
    QTest::addColumn<QByteArray>("simPort");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("trace");

    const auto row = [](const char *name, int port, int baud, const char *bp, const char *simPort,
                         int result, const char *trace) {
        QTest::newRow(name) << port << baud << QByteArray(bp) << QByteArray(simPort) << result
                            << trace;
    };
    const int bad = simcode::BadArgument;
    row("HID", 0, 115200, "", "", 0, R"(openDevice(0, 115200, "", 5) = 0)");
    row("ttyS0 1200 A", 1, 1200, "A", "", 0, R"(openDevice(1, 1200, "A", 5) = 0)");
    row("ttyS99 9600 K", 100, 9600, "K", "", 0, R"(openDevice(100, 9600, "K", 5) = 0)");
    row("B", 42, 115200, "B", "", 0, R"(openDevice(42, 115200, "B", 5) = 0)");
    row("C", 7, 9600, "C", "", 0, R"(openDevice(7, 9600, "C", 5) = 0)");
    row("port -1", -1, 9600, "", "", bad, R"(openDevice(-1, 9600, "", 5) = -21)");
    row("port 101", 101, 9600, "", "", bad, R"(openDevice(101, 9600, "", 5) = -21)");
    row("baud 4800", 1, 4800, "", "", bad, R"(openDevice(1, 4800, "", 5) = -21)");
    row("baud 0", 1, 0, "", "", bad, R"(openDevice(1, 0, "", 5) = -21)");
    row("lower-case letter", 1, 9600, "a", "", bad, R"(openDevice(1, 9600, "a", 5) = -21)");
    row("letter not offered", 1, 9600, "D", "", bad, R"(openDevice(1, 9600, "D", 5) = -21)");
    row("two letters", 1, 9600, "AB", "", bad, R"(openDevice(1, 9600, "AB", 5) = -21)");
    row("expected port", 3, 9600, "A", "3", 0, R"(openDevice(3, 9600, "A", 5) = 0)");
    row("other port", 0, 115200, "", "3", simcode::WrongPort,
        R"(openDevice(0, 115200, "", 5) = -19)");
    row("bad argument first", 101, 9600, "", "101", bad, R"(openDevice(101, 9600, "", 5) = -21)");
    row("unparsed port ignored", 5, 9600, "", "3x", 0, R"(openDevice(5, 9600, "", 5) = 0)");
}

void TestSimDevice::openConnection()
{
    QFETCH(int, port);
    QFETCH(int, baud);
    QFETCH(QByteArray, bp);
    QFETCH(QByteArray, simPort);
    QFETCH(int, result);
    QFETCH(QString, trace);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string tracePath = dir.filePath("trace.log").toStdString();
    std::map<std::string, std::string> env = {{"VARNAK_SIM_TRACE", tracePath}};
    if (!simPort.isEmpty())
        env["VARNAK_SIM_PORT"] = simPort.toStdString();
    ManualClock clock;
    {
        SimDevice device(configFrom(env), clock);
        QCOMPARE(device.openDevice(port, baud, bp.constData(), 5), result);
        QCOMPARE(device.snapshot().open, result == simcode::Ok);
    }
    QFile file(QString::fromStdString(tracePath));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readLine()).trimmed(), trace + " [overlaps 0]");
}

void TestSimDevice::badArguments_data()
{
    QTest::addColumn<DeviceCall>("call");
    // Rows outlive this function, so what they point at must too.
    static char reply[ReplyCapacity];
    static int minusOne = -1;
    static int zero = 0;
    const auto row = [](const char *name, DeviceCall call) { QTest::newRow(name) << call; };
    const auto ic = [](int mode, const char *tag, const char *option, int *a, char *r, int *b,
                        const char *extra, int timeout) {
        return DeviceCall(
            [=](SimDevice &d) { return d.getICInfo(mode, tag, option, a, r, b, extra, timeout); });
    };
    row("open port", [](SimDevice &d) { return d.openDevice(101, 115200, "", 5); });
    row("open baud", [](SimDevice &d) { return d.openDevice(0, 4800, "", 5); });
    row("open param", [](SimDevice &d) { return d.openDevice(0, 115200, nullptr, 5); });
    row("close", [](SimDevice &d) { return d.closeDevice(6); });
    row("status buffer", [](SimDevice &d) { return d.getStatus(5, nullptr); });
    row("power slot", [](SimDevice &d) { return d.powerOn(1, 5); });
    row("power off", [](SimDevice &d) { return d.powerOff(0); });
    row("enter", [](SimDevice &d) { return d.deviceEnterCard(5); });
    row("move unknown", [](SimDevice &d) { return d.deviceMoveCard("cp32", 30); });
    row("move null", [](SimDevice &d) { return d.deviceMoveCard(nullptr, 30); });
    row("move cp31 int", [](SimDevice &d) { return d.deviceMoveCard("cp31", 10); });
    row("move cp34 int", [](SimDevice &d) { return d.deviceMoveCard("cp34", 30); });
    row("move cp35 int", [](SimDevice &d) { return d.deviceMoveCard("cp35", 10); });
    row("send position", [](SimDevice &d) { return d.deviceSendCard("cp34", 30); });
    row("send int", [](SimDevice &d) { return d.deviceSendCard("cp31", 29); });
    row("ic tag", ic(2, "57", "", &minusOne, reply, &zero, "", 20));
    row("ic first preset", ic(2, "5A", "", &zero, reply, &zero, "", 20));
    row("ic reply null", ic(2, "5A", "", &minusOne, nullptr, &zero, "", 20));
    row("ic second null", ic(2, "5A", "", &minusOne, reply, nullptr, "", 20));
    row("ic timeout", ic(2, "5A", "", &minusOne, reply, &zero, "", 30));
}

void TestSimDevice::badArguments()
{
    QFETCH(DeviceCall, call);
    ManualClock clock;
    SimDevice device(SimConfig {}, clock);
    // Ready for every correct call, so only the argument can be what fails.
    QCOMPARE(device.openDevice(0, 115200, "", 5), simcode::Ok);
    QCOMPARE(device.deviceSendCard("cp31", 30), simcode::Ok);
    QCOMPARE(device.powerOn(0, 5), simcode::Ok);

    QCOMPARE(call(device), simcode::BadArgument);
    const Snapshot after = device.snapshot();
    QVERIFY(after.open && after.chipPowered && after.channel == Position::Reader);
    QCOMPARE(after.cardsInBox, 499);
    QCOMPARE(clock.now, std::int64_t(0));
}

void TestSimDevice::forcedResultDoesNothingElse()
{
    ManualClock clock;
    SimDevice device(
        configFrom({{"VARNAK_SIM_RC_deviceSendCard", "-5"}, {"VARNAK_SIM_RC_getStatus", "0"}}),
        clock);
    QCOMPARE(device.openDevice(0, 115200, "", 5), simcode::Ok);

    QCOMPARE(device.deviceSendCard("cp31", 30), -5);
    QCOMPARE(device.deviceSendCard(nullptr, 0), -5);
    QCOMPARE(device.snapshot().cardsInBox, 500);
    char reply[ReplyCapacity] = {};
    QCOMPARE(device.getStatus(5, reply), 0);
    QCOMPARE(reply[0], '\0');
}

void TestSimDevice::forcedReplies()
{
    ManualClock clock;
    SimDevice device(
        configFrom({{"VARNAK_SIM_STATUS_REPLY", "{}"}, {"VARNAK_SIM_ICINFO_REPLY", "not json"}}),
        clock);
    char reply[ReplyCapacity] = {};
    // Forced even where the model would refuse (closed, no card, no power), but not past a
    // missing buffer.
    QCOMPARE(device.getStatus(5, reply), simcode::Ok);
    QCOMPARE(QByteArray(reply), QByteArray("{}"));
    QCOMPARE(readCard(device, reply), simcode::Ok);
    QCOMPARE(QByteArray(reply), QByteArray("not json"));
    QCOMPARE(readCard(device, nullptr), simcode::BadArgument);
}

void TestSimDevice::replyTruncation_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("NUL just fits") << 1023;
    QTest::newRow("exactly full") << 1024;
    QTest::newRow("too long") << 3000;
}

void TestSimDevice::replyTruncation()
{
    QFETCH(int, length);
    ManualClock clock;
    SimDevice device(configFrom({{"VARNAK_SIM_STATUS_REPLY", std::string(length, 'x')}}), clock);
    // A guard byte past the buffer shows nothing is written beyond its 1024 bytes.
    QByteArray buffer(int(ReplyCapacity) + 1, '#');

    QCOMPARE(device.getStatus(5, buffer.data()), simcode::Ok);
    const int copied = qMin(length, int(ReplyCapacity));
    QCOMPARE(buffer.left(copied), QByteArray(copied, 'x'));
    QCOMPARE(buffer.at(copied), length < int(ReplyCapacity) ? '\0' : '#');
}

void TestSimDevice::configParsing_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char *variable, const char *value, const char *expected) {
        QTest::addRow("%s=%s", variable, value) << variable << value << expected;
    };
    row("CARDS", "0", "0");
    row("CARDS", "7", "7");
    row("CARDS", "-3", "500");
    row("CARDS", "12abc", "500");
    row("CARDS", "99999999999", "500");
    row("TAKE_MS", "2500", "2500");
    row("TAKE_MS", "OFF", "none");
    row("TAKE_MS", "-1", "none");
    row("TAKE_MS", "soon", "1500");
    row("INSERT_MS", "off", "none");
    row("INSERT_MS", "1.5", "1000");
    row("ENTER_TIMEOUT_MS", "250", "250");
    row("ENTER_TIMEOUT_MS", "-250", "none");
    row("LATENCY_MS", "-20", "0");
    row("LATENCY_MAX_MS", "40", "40");
    row("FAIL_PERCENT", "100", "100");
    row("FAIL_PERCENT", "101", "0");
    row("SEED", "42", "42");
    row("SEED", "-1", "0");
    row("TAKE_MAX_MS", "3000", "3000");
    row("INSERT_MAX_MS", "soon", "0");
    row("RC_deviceSendCard", "-5", "-5");
    row("RC_deviceSendCard", "fail", "none");
    row("FAIL_EVERY_powerOn", "50", "50:-20");
    row("FAIL_EVERY_powerOn", "0", "none");
    row("FAIL_EVERY_powerOn", "50th", "none");
    row("FAIL_EVERY_powerOn_RC", "-7", "none");
    row("FAULT_getICInfo", "1:hang", "1:hang");
    row("FAULT_getICInfo", "3:segv", "3:segv");
    row("FAULT_getICInfo", "2147483647:exit", "2147483647:exit");
    row("FAULT_getICInfo", "0:exit", "none");
    row("FAULT_getICInfo", "2147483648:exit", "none");
    row("FAULT_getICInfo", "3:Hang", "none");
    row("FAULT_getICInfo", "3:hang ", "none");
    row("FAULT_getICInfo", "3:hang:", "none");
    row("FAULT_getICInfo", "3", "none");
    row("FAULT_getICInfo", ":hang", "none");
}

void TestSimDevice::configParsing()
{
    QFETCH(QString, variable);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    const SimConfig c = configFrom({{"VARNAK_SIM_" + variable.toStdString(), value.toStdString()}});
    const auto rc = c.forced(Function::DeviceSendCard);
    const auto every = c.periodic(Function::PowerOn);
    const auto fault = c.fault(Function::GetICInfo);
    const std::map<QString, QString> fields = {
        {"CARDS", QString::number(c.model.cards)},
        {"TAKE_MS", text(c.model.takeDelayMs)},
        {"INSERT_MS", text(c.model.insertDelayMs)},
        {"ENTER_TIMEOUT_MS", text(c.enterTimeoutMs)},
        {"LATENCY_MS", QString::number(c.latencyMs)},
        {"LATENCY_MAX_MS", QString::number(c.latencyMaxMs)},
        {"FAIL_PERCENT", QString::number(c.failPercent)},
        {"SEED", QString::number(c.seed)},
        {"TAKE_MAX_MS", QString::number(c.model.takeDelayMaxMs)},
        {"INSERT_MAX_MS", QString::number(c.model.insertDelayMaxMs)},
        {"RC_deviceSendCard", rc ? QString::number(*rc) : "none"},
        {"FAIL_EVERY_powerOn",
            every ? QString("%1:%2").arg(every->period).arg(every->result) : "none"},
        {"FAIL_EVERY_powerOn_RC", every ? QString::number(every->result) : "none"},
        {"FAULT_getICInfo",
            fault ? QString("%1:%2").arg(fault->call).arg(faultKindName(fault->kind)) : "none"},
    };
    QCOMPARE(fields.at(variable), expected);
}

// A random failure is a forced result with a drawn code: nothing else happens. Each latency lies in
// its range, and the draws are not all the same.
void TestSimDevice::randomFailuresAndLatency()
{
    ManualClock clock;
    SimDevice device(configFrom({{"VARNAK_SIM_SEED", "7"}, {"VARNAK_SIM_FAIL_PERCENT", "100"},
                         {"VARNAK_SIM_LATENCY_MS", "10"}, {"VARNAK_SIM_LATENCY_MAX_MS", "30"}}),
        clock);
    const std::set<int> failures = {-10, -11, -12, -13, -14, -15, -16, -17, -21};
    std::set<int> codes;
    std::set<std::int64_t> latencies;
    for (int i = 0; i < 200; ++i) {
        const std::int64_t before = clock.now;
        codes.insert(device.openDevice(0, 115200, "", 5));
        latencies.insert(clock.now - before);
    }
    QCOMPARE(codes, failures);
    QCOMPARE(*latencies.begin(), std::int64_t(10));
    QCOMPARE(*latencies.rbegin(), std::int64_t(30));
    QVERIFY(!device.snapshot().open);
}

void TestSimDevice::sameSeedSameRun()
{
    const auto run = [](const char *seed, const char *statusEvery = "") {
        ManualClock clock;
        SimDevice device(configFrom({{"VARNAK_SIM_SEED", seed}, {"VARNAK_SIM_FAIL_PERCENT", "30"},
                             {"VARNAK_SIM_LATENCY_MAX_MS", "50"},
                             {"VARNAK_SIM_FAIL_EVERY_getStatus", statusEvery}}),
            clock);
        QList<qint64> results;
        char reply[ReplyCapacity] = {};
        for (int i = 0; i < 50; ++i) {
            results << device.openDevice(0, 115200, "", 5) << device.deviceSendCard("cp31", 30)
                    << device.getStatus(5, reply) << device.deviceMoveCard("cp35", 5) << clock.now;
        }
        return results;
    };
    QCOMPARE(run("1"), run("1"));
    QVERIFY(run("1") != run("2"));
    // A planted failure changes its own call's result and leaves every other draw alone. Each
    // round records five values; the status query, which changes nothing, is the third.
    QList<qint64> planted = run("1");
    for (int round = 9; round < 50; round += 10)
        planted[round * 5 + 2] = simcode::PlannedFailure;
    QCOMPARE(run("1", "10"), planted);
}

void TestSimDevice::cardNumbersPerStart_data()
{
    QTest::addColumn<QString>("env");
    QTest::addColumn<bool>("replayed");

    QTest::newRow("no seed") << "FAIL_PERCENT=0" << false;
    QTest::newRow("seed 0") << "SEED=0" << true;
    QTest::newRow("seed 42") << "SEED=42" << true;
    QTest::newRow("unparsed seed is none") << "SEED=-1" << false;
}

// Each configuration made from the environment is a start of its own, as each load is.
void TestSimDevice::cardNumbersPerStart()
{
    QFETCH(QString, env);
    QFETCH(bool, replayed);
    const auto start = [&env] {
        ManualClock clock;
        SimDevice device(configFrom(env), clock);
        device.openDevice(0, 115200, "", 5);
        QStringList numbers;
        for (int card = 0; card < 20 && device.deviceSendCard("cp31", 30) == simcode::Ok; ++card) {
            numbers << QString::fromStdString(device.snapshot().cardNumber);
            device.deviceMoveCard("cp35", 5);
        }
        return numbers;
    };
    const QStringList first = start();
    const QStringList second = start();
    QCOMPARE(QSet<QString>(first.begin(), first.end()).size(), 20);
    for (const QString &number : first + second) {
        QVERIFY2(
            QRegularExpression("^621483\\d{13}$").match(number).hasMatch(), qPrintable(number));
        QVERIFY2(isLuhnValid(number.toStdString()), qPrintable(number));
    }
    if (replayed)
        QCOMPARE(second, first);
    else
        QVERIFY(
            !QSet<QString>(first.begin(), first.end()).intersects({second.begin(), second.end()}));
}

void TestSimDevice::captureBin_data()
{
    QTest::addColumn<QString>("env");
    QTest::addColumn<int>("cards");
    QTest::addColumn<int>("lastCapture");
    QTest::addColumn<QString>("status");

    const auto row
        = [](const char *name, const char *env, int cards, int lastCapture, const char *status) {
              QTest::newRow(name) << env << cards << lastCapture << status;
          };
    row("unlimited by default", "CARDS=1000", 1000, 0,
        R"("cp35","Box":0,"Captured":1000,"Chip":"off")");
    row("up to capacity", "BIN=3", 3, 0, R"("cp35","Box":497,"Captured":3,"Chip":"off")");
    row("full bin keeps card", "BIN=3", 4, -18, R"("cp31","Box":496,"Captured":3,"Chip":"on")");
    row("zero capacity", "BIN=0", 1, -18, R"("cp31","Box":499,"Captured":0,"Chip":"on")");
    row("garbage is unlimited", "CARDS=1000 BIN=lots", 1000, 0,
        R"("cp35","Box":0,"Captured":1000,"Chip":"off")");
    row("large box", "CARDS=1000000", 1, 0, R"("cp35","Box":999999,"Captured":1,"Chip":"off")");
}

// Each card is dispensed, powered and captured as a burn-in run does, until a capture fails.
void TestSimDevice::captureBin()
{
    QFETCH(QString, env);
    QFETCH(int, cards);
    QFETCH(int, lastCapture);
    QFETCH(QString, status);
    ManualClock clock;
    SimDevice device(configFrom(env), clock);
    QCOMPARE(device.openDevice(0, 115200, "", 5), simcode::Ok);

    int result = simcode::Ok;
    for (int card = 0; card < cards && result == simcode::Ok; ++card) {
        QCOMPARE(device.deviceSendCard("cp31", 30), simcode::Ok);
        QCOMPARE(device.powerOn(0, 5), simcode::Ok);
        result = device.deviceMoveCard("cp35", 5);
    }
    QCOMPARE(result, lastCapture);
    char reply[ReplyCapacity] = {};
    QCOMPARE(device.getStatus(5, reply), simcode::Ok);
    QCOMPARE(QString(reply), R"({"Ret":0,"Channel":)" + status + "}");
}

void TestSimDevice::periodicFailures_data()
{
    QTest::addColumn<QString>("env");
    QTest::addColumn<int>("cards");
    QTest::addColumn<QString>("failures");

    const auto row = [](const char *name, const char *env, int cards, const char *failures) {
        QTest::newRow(name) << env << cards << failures;
    };
    const char *everyFiftieth = "50:-20 100:-20 150:-20 200:-20 250:-20 300:-20";
    row("every 50th chip read", "CARDS=300 FAIL_EVERY_getICInfo=50", 300, everyFiftieth);
    row("every 50th power-on", "CARDS=300 FAIL_EVERY_powerOn=50", 300, everyFiftieth);
    row("own code", "FAIL_EVERY_powerOn=2 FAIL_EVERY_powerOn_RC=-7", 5, "2:-7 4:-7");
    // Card 2 fails before its chip read, so the 2nd read is card 3's.
    row("counted per function", "FAIL_EVERY_powerOn=2 FAIL_EVERY_getICInfo=2", 5,
        "2:-20 3:-20 4:-20");
    row("forced result wins", "FAIL_EVERY_powerOn=2 RC_powerOn=-5", 3, "1:-5 2:-5 3:-5");
    row("zero is off", "FAIL_EVERY_powerOn=0", 3, "");
}

// Each card runs the chip steps of a burn-in run; the failed calls change nothing, so the chip
// stays unpowered after a failed power-on and every card is captured.
void TestSimDevice::periodicFailures()
{
    QFETCH(QString, env);
    QFETCH(int, cards);
    QFETCH(QString, failures);
    ManualClock clock;
    SimDevice device(configFrom(env), clock);
    QCOMPARE(device.openDevice(0, 115200, "", 5), simcode::Ok);

    QStringList failed;
    char reply[ReplyCapacity] = {};
    for (int card = 1; card <= cards; ++card) {
        QCOMPARE(device.deviceSendCard("cp31", 30), simcode::Ok);
        int rc = device.powerOn(0, 5);
        QCOMPARE(device.snapshot().chipPowered, rc == simcode::Ok);
        if (rc == simcode::Ok)
            rc = readCard(device, reply);
        if (rc != simcode::Ok)
            failed << QString("%1:%2").arg(card).arg(rc);
        QCOMPARE(device.powerOff(5), simcode::Ok);
        QCOMPARE(device.deviceMoveCard("cp35", 5), simcode::Ok);
    }
    QCOMPARE(failed.join(' '), failures);
    QCOMPARE(device.snapshot().captured, cards);
}

QTEST_APPLESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
