// SPDX-License-Identifier: MIT
#include "engine/burnin/qualification.h"
#include "engine/store/cburninreader.h"
#include "engine/store/cresultsstore.h"
#include "runnerprocess.h"
#include "workingfolder.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>

using namespace RunnerProcess;

// The command-line runner as a process, in a working folder of its own with the simulator as
// its device library, read back from its exit status, its output and the files it leaves.
class tst_CBurnInRunner : public QObject
{
    Q_OBJECT

private slots:
    void linksNoWidgets();
    void exitStatus_data();
    void exitStatus();
    void badUsage_data();
    void badUsage();
    void opensTheChosenConnection_data();
    void opensTheChosenConnection();
    void noLibrary();
    void noRecordNoRun();
    void secondRunnerIsRefused();
    void emptyBoxThenContinue();
    void signalStopsAfterTheCardInHand_data();
    void signalStopsAfterTheCardInHand();
    void stationFaultsAreNotCharged_data();
    void stationFaultsAreNotCharged();
    void reportJudgesAnyRun_data();
    void reportJudgesAnyRun();
    void saysWhatItDid_data();
    void saysWhatItDid();
    void hangUpUnderNohupIsIgnored();
};

void tst_CBurnInRunner::linksNoWidgets()
{
    QProcess readelf;
    readelf.start("readelf", {"-d", BURNIN_PROGRAM});
    QVERIFY(readelf.waitForFinished());
    const QString dynamic = readelf.readAllStandardOutput();
    QVERIFY(dynamic.contains(QRegularExpression("NEEDED.*libQt[56]Gui")));
    QVERIFY(!dynamic.contains("Widgets"));
}

void tst_CBurnInRunner::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QString>("config");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("report");

    const QStringList box {"VARNAK_SIM_CARDS=100"};
    QTest::newRow("fifty cards captured")
        << QStringList {"--cards", "50", "--mode", "capture"} << box << "" << 0 << 50 << false;
    QTest::newRow("config.ini's defaults")
        << QStringList {} << box << "[burnin]\ncards=7\nmode=handout\n"
        << 0 << 7 << false;
    QTest::newRow("a failing card stops the run")
        << QStringList {"--cards", "10", "--stop-on-failure"}
        << (box + QStringList {"VARNAK_SIM_FAIL_EVERY_getICInfo=3"}) << "" << 1 << 3 << false;
    QTest::newRow("five failures in a row")
        << QStringList {"--cards", "10"} << (box + QStringList {"VARNAK_SIM_RC_getICInfo=-5"}) << ""
        << 1 << 5 << false;
    QTest::newRow("a P95 limit missed, with its report")
        << QStringList {"--cards", "5", "--serial", "SN-1", "--max-p95", "0.001"}
        << (box + QStringList {"VARNAK_SIM_LATENCY_MS=2"}) << "" << 1 << 5 << true;
    QTest::newRow("the target reached, with its report") << QStringList {"--cards", "30",
        "--serial", "SN-2", "--target-mcbf", "10", "--confidence", "80"}
                                                         << box << "" << 0 << 30 << true;
    QTest::newRow("an empty box") << QStringList {"--cards", "10"}
                                  << QStringList {"VARNAK_SIM_CARDS=4"} << "" << 6 << 4 << false;
    QTest::newRow("a full bin") << QStringList {"--cards", "10"}
                                << (box + QStringList {"VARNAK_SIM_BIN=3"}) << "" << 6 << 4
                                << false;
}

void tst_CBurnInRunner::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, settings);
    QFETCH(QString, config);
    QFETCH(int, status);
    QFETCH(int, rows);
    QFETCH(bool, report);

    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    QVERIFY(writeConfig(config));

    const Finished finished = run(arguments << "--json", settings);
    QVERIFY2(finished.status == status, finished.err.constData());
    QCOMPARE(csvRows(), rows);
    const QJsonObject json = summary(finished);
    QCOMPARE(json.value("exitStatus").toInt(), status);
    QCOMPARE(json.value("done").toInt(), rows);
    const int passed = json.value("passed").toInt();
    QCOMPARE(json.value("passRate").toDouble(), 100.0 * passed / rows);
    QCOMPARE(qint64(json.value("demonstratedMcbf").toDouble()),
        Qualification::demonstratedMcbf(rows, rows - passed, json.value("confidence").toInt()));
    QCOMPARE(QFile::exists(json.value("report").toString()), report);
    QCOMPARE(json.value("upload").toObject().value("configured").toBool(), false);
    // Nothing but the runner's own lines: no toolkit warning, no loader diagnostics.
    for (const char *foreign : {"QStandardPaths", "start load so", "load success"})
        QVERIFY2(!finished.err.contains(foreign), finished.err.constData());
}

void tst_CBurnInRunner::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("an unknown option") << QStringList {"--card", "5"};
    QTest::newRow("no cards") << QStringList {"--cards", "0"};
    QTest::newRow("too many cards") << QStringList {"--cards", "100001"};
    QTest::newRow("cards in an exponent") << QStringList {"--cards", "1e3"};
    QTest::newRow("an unknown mode") << QStringList {"--mode", "eject"};
    QTest::newRow("a confidence not offered") << QStringList {"--confidence", "85"};
    QTest::newRow("a target above the range")
        << QStringList {"--target-mcbf", "10000001", "--serial", "A"};
    QTest::newRow("a P95 with four decimals")
        << QStringList {"--max-p95", "1.2345", "--serial", "A"};
    QTest::newRow("a P95 above ten minutes")
        << QStringList {"--max-p95", "600.001", "--serial", "A"};
    QTest::newRow("limits without a serial") << QStringList {"--target-mcbf", "100"};
    QTest::newRow("a serial with a control character") << QStringList {"--serial", "A\tB"};
    QTest::newRow("settings with --continue") << QStringList {"--continue", "x", "--cards", "5"};
    QTest::newRow("settings with --report") << QStringList {"--report", "x", "--serial", "A"};
    QTest::newRow("a report and a continuation")
        << QStringList {"--report", "x", "--continue", "x"};
    QTest::newRow("an argument without an option") << QStringList {"50"};
    QTest::newRow("an unknown connection") << QStringList {"--connection", "serial"};
    QTest::newRow("a port with the fixed connection") << QStringList {"--port", "2"};
    QTest::newRow("a port outside the dialog's range")
        << QStringList {"--connection", "settings", "--port", "101"};
    QTest::newRow("a baud rate the dialog does not offer")
        << QStringList {"--connection", "settings", "--baud", "4800"};
    QTest::newRow("a BP port the dialog does not offer")
        << QStringList {"--connection", "settings", "--bp", "D"};
}

void tst_CBurnInRunner::badUsage()
{
    QFETCH(QStringList, arguments);

    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    const Finished finished = run(arguments);
    QCOMPARE(finished.status, 2);
    QVERIFY(finished.err.contains("Usage: card-dispenser-burnin"));
    QVERIFY(finished.out.isEmpty());
    QVERIFY(!QFile::exists("results"));
    // A script that asked for JSON gets it on this exit too, with the reason.
    const Finished json = run(arguments << "--json");
    QCOMPARE(summary(json).value("exitStatus").toInt(), 2);
    QVERIFY(!summary(json).value("error").toString().isEmpty());
}

void tst_CBurnInRunner::opensTheChosenConnection_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("opened");

    const QString com = "[com]\nport=2\nbaud=9600\nbp=B\n";
    QTest::newRow("fixed, whatever the settings")
        << QStringList() << com << R"(openDevice(0, 115200, "", 5))";
    QTest::newRow("the settings, chosen in config.ini")
        << QStringList() << com + "[burnin]\nconnection=settings\n"
        << R"(openDevice(2, 9600, "B", 5))";
    QTest::newRow("the settings, chosen here")
        << QStringList {"--connection", "settings"} << com << R"(openDevice(2, 9600, "B", 5))";
    QTest::newRow("the settings, overridden for this run")
        << QStringList {"--connection", "settings", "--port", "3", "--baud", "1200", "--bp", "none"}
        << com << R"(openDevice(3, 1200, "", 5))";
}

void tst_CBurnInRunner::opensTheChosenConnection()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, config);
    QFETCH(QString, opened);

    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    QVERIFY(writeConfig(config));
    const QString trace = QDir::current().absoluteFilePath("trace.txt");
    const Finished finished = run(arguments << "--cards"
                                            << "1",
        {"VARNAK_SIM_TRACE=" + trace});
    QVERIFY2(finished.status == 0, finished.err.constData());
    QFile calls(trace);
    QVERIFY(calls.open(QIODevice::ReadOnly));
    QVERIFY2(calls.readAll().startsWith((opened + " = 0").toUtf8()), qPrintable(trace));
}

void tst_CBurnInRunner::noLibrary()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    const Finished finished = run({"--cards", "5"});
    QCOMPARE(finished.status, 3);
    QVERIFY(finished.err.contains("./lib/libvarnak_c.so"));
    QVERIFY(!QFile::exists("results"));
    const Finished json = run({"--cards", "5", "--json"});
    QCOMPARE(summary(json).value("exitStatus").toInt(), 3);
    QVERIFY(summary(json).value("error").toString().contains("./lib/libvarnak_c.so"));
}

// A file where the results folder should be: the device is never called.
void tst_CBurnInRunner::noRecordNoRun()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    QFile file("results");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const Finished finished
        = run({"--cards", "5"}, {"VARNAK_SIM_TRACE=" + folder.filePath("trace")});
    QCOMPARE(finished.status, 5);
    QVERIFY(finished.err.contains("results"));
    QFile trace("trace");
    QVERIFY(!trace.open(QIODevice::ReadOnly) || !trace.readAll().contains("Device("));
}

// The first holds the working folder's device for its whole run; the second names it.
void tst_CBurnInRunner::secondRunnerIsRefused()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    QProcess first;
    start(first, {"--cards", "2000"}, {"VARNAK_SIM_CARDS=3000", "VARNAK_SIM_LATENCY_MS=1"});
    QTRY_VERIFY_WITH_TIMEOUT(csvRows() > 0, kRunTimeoutMs);

    const Finished second = run({"--cards", "5"});
    QCOMPARE(second.status, 3);
    QVERIFY2(second.err.contains(QString("进程 %1").arg(first.processId()).toUtf8()),
        second.err.constData());
    ::kill(pid_t(first.processId()), SIGTERM);
    QCOMPARE(finish(first).status, 4);
}

void tst_CBurnInRunner::emptyBoxThenContinue()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    const Finished cut = run({"--cards", "8", "--json"}, {"VARNAK_SIM_CARDS=5"});
    QCOMPARE(cut.status, 6);
    QCOMPARE(csvRows(), 5);

    const QString runId = summary(cut).value("runId").toString();
    const Finished rest = run({"--continue", runId, "--json"}, {"VARNAK_SIM_CARDS=5"});
    QVERIFY2(rest.status == 0, rest.err.constData());
    const QJsonObject json = summary(rest);
    QCOMPARE(json.value("runId").toString(), runId);
    QCOMPARE(json.value("firstCard").toInt(), 6);
    QCOMPARE(json.value("done").toInt(), 8);
    QCOMPARE(csvRows(), 8);
    // Settled: not run again, but answered with its verdict's status and pointed to the report.
    const Finished again = run({"--continue", runId});
    QCOMPARE(again.status, 0);
    QVERIFY2(again.err.contains(("--report " + runId).toUtf8()), again.err.constData());
}

void tst_CBurnInRunner::signalStopsAfterTheCardInHand_data()
{
    QTest::addColumn<QList<int>>("sent");
    QTest::addColumn<bool>("atOnce");

    QTest::newRow("SIGINT") << QList<int> {SIGINT} << false;
    QTest::newRow("SIGTERM") << QList<int> {SIGTERM} << false;
    QTest::newRow("SIGINT twice ends at once") << QList<int> {SIGINT, SIGINT} << true;
    QTest::newRow("SIGHUP") << QList<int> {SIGHUP} << false;
    QTest::newRow("SIGHUP twice is no second interrupt") << QList<int> {SIGHUP, SIGHUP} << false;
}

// Every card in the CSV went into the bin and no other did: the card in hand was finished, or
// with a second signal dropped before its capture.
void tst_CBurnInRunner::signalStopsAfterTheCardInHand()
{
    QFETCH(QList<int>, sent);
    QFETCH(bool, atOnce);

    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    QProcess process;
    start(process, {"--cards", "2000"},
        {"VARNAK_SIM_CARDS=3000", "VARNAK_SIM_LATENCY_MS=1",
            "VARNAK_SIM_TRACE=" + folder.filePath("trace")});
    QTRY_VERIFY_WITH_TIMEOUT(csvRows() >= 10, kRunTimeoutMs);
    for (int signal : sent)
        ::kill(pid_t(process.processId()), signal);
    const Finished finished = finish(process);
    QCOMPARE(finished.status, 4);

    QFile trace(folder.filePath("trace"));
    QVERIFY(trace.open(QIODevice::ReadOnly));
    const int captures = int(trace.readAll().count("deviceMoveCard(\"cp35\", 5) = 0"));
    const int rows = csvRows();
    QVERIFY(rows < 2000);
    if (atOnce)
        QVERIFY(rows == captures || rows + 1 == captures);
    else
        QCOMPARE(rows, captures);

    CResultsStore store;
    QVERIFY(store.open("results"));
    const QVector<ResultsRunSummary> runs = store.runs(false);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(resultsRunStateName(runs.first().state), QString("未完成"));
    QVERIFY(!QFile::exists("results/device.lock"));
}

// Opening is the station's connection, not a cycle of the dispenser: an open that fails is never
// a failed card. The probe before the first card is the first open; each card opens once more.
void tst_CBurnInRunner::stationFaultsAreNotCharged_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("rows"); // -1: no run recorded at all
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("charged"); // device failures once the run is done
    QTest::addColumn<int>("lost"); // interruptions the summary lists

    QTest::newRow("the wrong port: no run begins")
        << QStringList {"VARNAK_SIM_PORT=3"} << 3 << -1 << "打开设备：-19" << 0 << 0;
    QTest::newRow("the dispenser lost at card 3")
        << QStringList {"VARNAK_SIM_FAIL_EVERY_openDevice=4"} << 6 << 2
        << "设备连接中断，第 3 张：打开设备：-20" << 0 << 1;
    QTest::newRow("a full bin: the capture charged, the bin to empty")
        << QStringList {"VARNAK_SIM_BIN=3"} << 6 << 4 << "请清空回收箱并清理通道" << 1 << 0;
}

void tst_CBurnInRunner::stationFaultsAreNotCharged()
{
    QFETCH(QStringList, settings);
    QFETCH(int, status);
    QFETCH(int, rows);
    QFETCH(QString, said);
    QFETCH(int, charged);
    QFETCH(int, lost);

    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    const Finished cut = run({"--cards", "6", "--json"}, settings);
    QVERIFY2(cut.status == status, cut.err.constData());
    QCOMPARE(csvRows(), rows);
    QVERIFY2((cut.out + cut.err).contains(said.toUtf8()), (cut.out + cut.err).constData());
    CResultsStore store;
    QVERIFY(store.open("results"));
    QCOMPARE(store.runs(false).size(), rows < 0 ? 0 : 1);
    if (rows < 0)
        return;
    QCOMPARE(summary(cut).value("interruptions").toArray().size(), lost);
    // Taken on once mended, from the card that could not begin, and nothing was charged.
    const QString runId = summary(cut).value("runId").toString();
    const Finished rest = run({"--continue", runId, "--json"});
    QVERIFY2(rest.status == 0, rest.err.constData());
    QCOMPARE(summary(rest).value("done").toInt(), 6);
    QCOMPARE(summary(rest).value("deviceFailures").toInt(), charged);
}

void tst_CBurnInRunner::reportJudgesAnyRun_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("shown");

    QTest::newRow("cut short, undecided")
        << QStringList {"--cards", "8"} << QStringList {"VARNAK_SIM_CARDS=5"} << 6 << "尚余 3 张";
    QTest::newRow("finished without limits")
        << QStringList {"--cards", "4"} << QStringList {} << 0 << "未设限值，不作判定";
    QTest::newRow("failed before its end")
        << QStringList {"--cards", "8", "--serial", "S", "--target-mcbf", "20"}
        << QStringList {"VARNAK_SIM_CARDS=5"} << 1 << "不合格";
    QTest::newRow("the dispenser lost on the way")
        << QStringList {"--cards", "8"} << QStringList {"VARNAK_SIM_FAIL_EVERY_openDevice=4"} << 6
        << "设备无法打开 1 次";
}

// From the record alone: the exit status follows the verdict, never how the run was stopped,
// and each report is a new file.
void tst_CBurnInRunner::reportJudgesAnyRun()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, settings);
    QFETCH(int, status);
    QFETCH(QString, shown);

    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    const QString runId = summary(run(arguments << "--json", settings)).value("runId").toString();
    QVERIFY(!runId.isEmpty());
    const Finished first = run({"--report", runId});
    QCOMPARE(first.status, status);
    const Finished second = run({"--report", runId, "--json"});
    QCOMPARE(second.status, status);
    const QString path = summary(second).value("report").toString();
    QVERIFY(QFile::exists(QString::fromUtf8(first.out.trimmed())) && QFile::exists(path));
    QVERIFY(path != QString::fromUtf8(first.out.trimmed()));
    QProcess text;
    text.start("pdftotext", {path, "-"});
    QVERIFY(text.waitForFinished());
    QVERIFY2(QString::fromUtf8(text.readAllStandardOutput()).contains(shown), qPrintable(path));
    const Finished unknown = run({"--report", "no-such-run"});
    QCOMPARE(unknown.status, 2);
    QVERIFY(unknown.err.contains("no-such-run"));
}

void tst_CBurnInRunner::saysWhatItDid_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QString>("config");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("notShown");

    QTest::newRow("the limits and where they came from")
        << QStringList {"--cards", "3", "--serial", "S", "--max-p95", "2"} << QStringList {}
        << "[burnin]\ntargetMcbf=100\n"
        << QStringList {"MCBF ≥ 100 次（config.ini）", "置信度 90%（默认）",
               "P95 ≤ 2.000 秒（--max-p95）", "老化测试开始：", "，运行 ID "}
        << QStringList {};
    QTest::newRow("--quiet hides the progress, not the failed cards")
        << QStringList {"--cards", "200", "--quiet"}
        << QStringList {"VARNAK_SIM_CARDS=300", "VARNAK_SIM_FAIL_EVERY_getICInfo=150"} << ""
        << QStringList {"第 150 张", "老化测试结束"} << QStringList {"老化 100/200"};
    QTest::newRow("one number for every card: at most twenty lines")
        << QStringList {"--cards", "300"}
        << QStringList {"VARNAK_SIM_CARDS=300",
               R"(VARNAK_SIM_ICINFO_REPLY={"Ret":0,"Data":{"5A":"6214830000000000015"}})"}
        << "" << QStringList {"第 21 张", "重复卡号 299"} << QStringList {"第 22 张"};
}

void tst_CBurnInRunner::saysWhatItDid()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, settings);
    QFETCH(QString, config);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, notShown);

    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    QVERIFY(writeConfig(config));
    const Finished finished = run(arguments, settings);
    QVERIFY2(finished.status == 0 || finished.status == 1, finished.err.constData());
    const QString out = QString::fromUtf8(finished.out);
    for (const QString &text : shown)
        QVERIFY2(out.contains(text), qPrintable(text + "\n" + out));
    for (const QString &text : notShown)
        QVERIFY2(!out.contains(text), qPrintable(text + "\n" + out));
}

// nohup leaves SIGHUP ignored: a run started so outlives the session and ends only when asked.
void tst_CBurnInRunner::hangUpUnderNohupIsIgnored()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid() && folder.stageSimulator());
    QProcess process;
    process.setProcessEnvironment(
        environment({"VARNAK_SIM_CARDS=3000", "VARNAK_SIM_LATENCY_MS=1"}));
    process.start("nohup", {BURNIN_PROGRAM, "--cards", "2000"});
    QTRY_VERIFY_WITH_TIMEOUT(csvRows() > 0, kRunTimeoutMs);
    ::kill(pid_t(process.processId()), SIGHUP);
    const int atHangUp = csvRows();
    QTRY_VERIFY_WITH_TIMEOUT(csvRows() > atHangUp + 20, kRunTimeoutMs);
    QCOMPARE(process.state(), QProcess::Running);
    ::kill(pid_t(process.processId()), SIGTERM);
    QCOMPARE(finish(process).status, 4);
}

QTEST_GUILESS_MAIN(tst_CBurnInRunner)
#include "tst_cburninrunner.moc"
