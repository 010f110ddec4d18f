// SPDX-License-Identifier: MIT
#include "engine/store/cburninreader.h"
#include "engine/store/cresultsstore.h"
#include "runnerprocess.h"
#include "workingfolder.h"

#include <QDir>
#include <QJsonArray>
#include <QtTest>

#include <csignal>

using namespace RunnerProcess;

namespace {

const QString kHostName = QStringLiteral("card-dispenser-devicehost");

// The driver hosts the runner has started and not yet reaped, from /proc, which names each
// process's parent in its stat line after the command name in parentheses.
QList<qint64> hostsOf(qint64 runner)
{
    QList<qint64> hosts;
    const QStringList entries = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        QFile stat("/proc/" + entry + "/stat");
        if (!numeric || !stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromUtf8(stat.readAll());
        const QStringList after = line.mid(line.lastIndexOf(')') + 2).split(' ');
        const QString name = line.section('(', 1).section(')', 0, 0);
        if (after.size() > 1 && after.at(1).toLongLong() == runner && kHostName.startsWith(name)
            && after.at(0) != "Z")
            hosts << pid;
    }
    return hosts;
}

bool isAlive(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QString line = QString::fromUtf8(stat.readAll());
    return !line.mid(line.lastIndexOf(')') + 2).startsWith('Z');
}

int openDescriptors(qint64 pid)
{
    return int(QDir(QString("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot).size());
}

bool traceHas(const WorkingFolder &folder, const QByteArray &text)
{
    QFile trace(folder.filePath("trace"));
    return trace.open(QIODevice::ReadOnly) && trace.readAll().contains(text);
}

// Each card as "pass" or its failed step and result, in the CSV's order.
QStringList csvCards()
{
    QStringList cards;
    for (const BurnInRecord &record : readBurnInCsv(csvPath()).records)
        cards << (record.passed ? QString("pass")
                                : burnInStepName(*record.failedStep) + ' ' + record.failureText());
    return cards;
}

} // namespace

Q_DECLARE_METATYPE(BurnInOutcome)

// The runner with the simulator's faults planted in its driver host: a call that never returns,
// a crash, a host killed from outside, and the runner itself killed.
class tst_BurnInDriverHost : public QObject
{
    Q_OBJECT

private slots:
    void faultFailsTheCardAndTheRunGoesOn_data();
    void faultFailsTheCardAndTheRunGoesOn();
    void hostKilledFromOutsideIsTheStations();
    void secondInterruptEndsAHungCall();
    void libraryGoneForTheNextHostIsTheStations();
    void runnerKilledTakesItsHostAlong();
    void newHostsLeakNothing();
};

void tst_BurnInDriverHost::faultFailsTheCardAndTheRunGoesOn_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("cards");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<BurnInOutcome>("outcome");

    // Each new host loads the library afresh: its third call of the function is card 4's.
    QTest::newRow("a power-on that never returns")
        << "VARNAK_SIM_FAULT_powerOn=3:hang" << QStringList {"pass", "pass", "上电 无响应", "pass"}
        << "driver_hang"
        << "powerOn：5.5 秒内无响应" << BurnInOutcome::NoReply;
    QTest::newRow("a chip read that crashes")
        << "VARNAK_SIM_FAULT_getICInfo=3:segv"
        << QStringList {"pass", "pass", "读卡 驱动崩溃", "pass"} << "driver_crash"
        << "getICInfo：信号 11（SIGSEGV）" << BurnInOutcome::DriverCrash;
    QTest::newRow("a dispense that aborts")
        << "VARNAK_SIM_FAULT_deviceSendCard=3:abort"
        << QStringList {"pass", "pass", "发卡到读卡位 驱动崩溃", "pass"} << "driver_crash"
        << "deviceSendCard：信号 6（SIGABRT）" << BurnInOutcome::DriverCrash;
    QTest::newRow("a power-off that exits the process")
        << "VARNAK_SIM_FAULT_powerOff=3:exit"
        << QStringList {"pass", "pass", "下电 驱动崩溃", "pass"} << "driver_crash"
        << "powerOff：驱动进程退出，状态 3" << BurnInOutcome::DriverCrash;
}

void tst_BurnInDriverHost::faultFailsTheCardAndTheRunGoesOn()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, cards);
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QFETCH(BurnInOutcome, outcome);

    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    const Finished done
        = run({"--cards", "4", "--hang-grace", "0.5", "--json"}, {fault, "VARNAK_SIM_CARDS=10"});
    QVERIFY2(done.status == 0, done.err.constData());
    QCOMPARE(csvCards(), cards);
    const QJsonObject json = summary(done);
    QCOMPARE(json.value("done").toInt(), 4);
    QCOMPARE(json.value("deviceFailures").toInt(), 1);
    const QJsonArray faults = json.value("driverFaults").toArray();
    QCOMPARE(faults.size(), 1);
    QCOMPARE(faults.first().toObject().value("kind").toString(), kind);
    QCOMPARE(faults.first().toObject().value("reason").toString(), reason);

    CResultsStore store;
    QVERIFY(store.open("results"));
    const QString runId = json.value("runId").toString();
    const QVector<BurnInRecord> records = store.cards(runId);
    QCOMPARE(records.size(), 4);
    QCOMPARE(records.at(2).outcome, outcome);
    QCOMPARE(records.at(2).failedCode, 0);
    // The grace is in the start's record, and the second host's library beside it.
    QStringList kinds;
    for (const ResultsRunEvent &event : store.events(runId)) {
        kinds << resultsEventKindKey(event.kind);
        if (event.kind == ResultsEventKind::Start)
            QVERIFY2(event.reason.contains("hang_grace=0.5"), qPrintable(event.reason));
        if (event.kind == ResultsEventKind::HostStart)
            QCOMPARE(event.librarySha256.size(), 64);
    }
    QCOMPARE(kinds, QStringList({"start", kind, "host_start", "verdict", "end"}));
}

// A kill that is no crash is the station's: no row for the card in hand, an undecided end, and
// --continue runs that card again.
void tst_BurnInDriverHost::hostKilledFromOutsideIsTheStations()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    const QStringList settings
        = {"VARNAK_SIM_CARDS=10", "VARNAK_SIM_TRACE=" + folder.filePath("trace")};
    QProcess process;
    start(process, {"--cards", "4", "--json"},
        settings + QStringList {"VARNAK_SIM_FAULT_powerOn=3:hang"});
    QTRY_VERIFY_WITH_TIMEOUT(traceHas(folder, ") hangs"), kRunTimeoutMs);
    const QList<qint64> hosts = hostsOf(process.processId());
    QCOMPARE(hosts.size(), 1);
    ::kill(pid_t(hosts.first()), SIGKILL);
    const Finished cut = finish(process);
    QVERIFY2(cut.status == 6, cut.err.constData());
    QCOMPARE(csvRows(), 2);
    const QJsonObject json = summary(cut);
    const QJsonObject lost = json.value("driverFaults").toArray().first().toObject();
    QCOMPARE(lost.value("kind").toString(), QString("host_lost"));
    QVERIFY2(lost.value("reason").toString().contains("信号 9（SIGKILL）"),
        qPrintable(lost.value("reason").toString()));
    QVERIFY2(json.value("reason").toString().contains("第 3 张未记录"),
        qPrintable(json.value("reason").toString()));

    const Finished rest = run({"--continue", json.value("runId").toString(), "--json"}, settings);
    QVERIFY2(rest.status == 0, rest.err.constData());
    QCOMPARE(summary(rest).value("firstCard").toInt(), 3);
    QCOMPARE(csvCards(), QStringList({"pass", "pass", "pass", "pass"}));
}

// The first interrupt waits for the card in hand, whose call would hang for ten minutes; the
// second ends the runner at once, and the card is run again on --continue.
void tst_BurnInDriverHost::secondInterruptEndsAHungCall()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    const QStringList settings
        = {"VARNAK_SIM_CARDS=10", "VARNAK_SIM_TRACE=" + folder.filePath("trace")};
    QProcess process;
    start(process, {"--cards", "4", "--hang-grace", "600", "--json"},
        settings + QStringList {"VARNAK_SIM_FAULT_getICInfo=2:hang"});
    QTRY_VERIFY_WITH_TIMEOUT(traceHas(folder, ") hangs"), kRunTimeoutMs);
    const QList<qint64> hosts = hostsOf(process.processId());
    QCOMPARE(hosts.size(), 1);
    // Two signals of a kind sent before the first is taken are one: the second waits for the
    // runner's answer to the first.
    ::kill(pid_t(process.processId()), SIGINT);
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT(
        (said += process.readAllStandardError()).contains("收到信号"), kRunTimeoutMs);
    ::kill(pid_t(process.processId()), SIGINT);
    const Finished cut = finish(process);
    QVERIFY2(cut.status == 4, cut.err.constData());
    QVERIFY(!isAlive(hosts.first()));
    QCOMPARE(csvRows(), 1);
    const QJsonObject json = summary(cut);
    QVERIFY2(json.value("reason").toString().contains("立即停止，第 2 张未完成，不计入"),
        qPrintable(json.value("reason").toString()));

    const Finished rest = run({"--continue", json.value("runId").toString(), "--json"}, settings);
    QVERIFY2(rest.status == 0, rest.err.constData());
    QCOMPARE(summary(rest).value("firstCard").toInt(), 2);
    QCOMPARE(csvCards(), QStringList({"pass", "pass", "pass", "pass"}));
}

// A crash costs its card; the host after it finds no library to load, which is the station's
// trouble: the run ends undecided before the next card, and goes on once the library is back.
void tst_BurnInDriverHost::libraryGoneForTheNextHostIsTheStations()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    const QStringList settings
        = {"VARNAK_SIM_CARDS=10", "VARNAK_SIM_TRACE=" + folder.filePath("trace")};
    QProcess process;
    start(process, {"--cards", "5", "--hang-grace", "600", "--json"},
        settings + QStringList {"VARNAK_SIM_FAULT_powerOn=3:hang"});
    QTRY_VERIFY_WITH_TIMEOUT(traceHas(folder, ") hangs"), kRunTimeoutMs);
    const QList<qint64> hosts = hostsOf(process.processId());
    QCOMPARE(hosts.size(), 1);
    QVERIFY(QFile::remove("lib/libvarnak_c.so"));
    ::kill(pid_t(hosts.first()), SIGSEGV);
    const Finished cut = finish(process);
    QVERIFY2(cut.status == 6, cut.err.constData());
    QCOMPARE(csvCards(), QStringList({"pass", "pass", "上电 驱动崩溃"}));
    const QJsonObject json = summary(cut);
    QVERIFY2(json.value("reason").toString().contains("第 4 张未记录：无法加载设备库"),
        qPrintable(json.value("reason").toString()));

    QVERIFY(folder.stageSimulator());
    const Finished rest = run({"--continue", json.value("runId").toString(), "--json"}, settings);
    QVERIFY2(rest.status == 0, rest.err.constData());
    QCOMPARE(summary(rest).value("firstCard").toInt(), 4);
    QCOMPARE(csvRows(), 5);
}

// The host dies with its runner rather than hold the port, even when the runner gets no chance
// to end it.
void tst_BurnInDriverHost::runnerKilledTakesItsHostAlong()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    QProcess process;
    start(process, {"--cards", "4"},
        {"VARNAK_SIM_FAULT_powerOn=1:hang", "VARNAK_SIM_TRACE=" + folder.filePath("trace")});
    QTRY_VERIFY_WITH_TIMEOUT(traceHas(folder, ") hangs"), kRunTimeoutMs);
    const QList<qint64> hosts = hostsOf(process.processId());
    QCOMPARE(hosts.size(), 1);
    process.kill();
    QVERIFY(process.waitForFinished(kRunTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(!isAlive(hosts.first()), kRunTimeoutMs);
}

// A new host every other card, a hundred times over (each host's second chip read crashes it):
// the runner's descriptors stay as they were.
void tst_BurnInDriverHost::newHostsLeakNothing()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    QProcess process;
    start(process, {"--cards", "200", "--json"},
        {"VARNAK_SIM_FAULT_getICInfo=2:exit", "VARNAK_SIM_CARDS=300"});
    QTRY_VERIFY_WITH_TIMEOUT(csvRows() >= 10, kRunTimeoutMs);
    const int early = openDescriptors(process.processId());
    QTRY_VERIFY_WITH_TIMEOUT(csvRows() >= 190, kRunTimeoutMs);
    const int late = openDescriptors(process.processId());
    const Finished done = finish(process);
    QVERIFY2(done.status == 0, done.err.constData());
    QCOMPARE(summary(done).value("deviceFailures").toInt(), 100);
    QCOMPARE(summary(done).value("driverFaults").toArray().size(), 100);
    // A host being started holds its socket and process descriptors for a moment.
    QVERIFY2(
        late <= early + 3, qPrintable(QString("%1 descriptors, then %2").arg(early).arg(late)));
}

QTEST_GUILESS_MAIN(tst_BurnInDriverHost)
#include "tst_burnindriverhost.moc"
