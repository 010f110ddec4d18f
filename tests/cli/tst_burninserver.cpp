// SPDX-License-Identifier: MIT
#include "engine/store/cstationlock.h"
#include "engine/upload/cresultsforwarder.h"
#include "pgcluster.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

constexpr int kRunTimeoutMs = 120000;
constexpr int kServerTimeoutMs = 30000;

// A station: a working folder with the simulator as its device and config.ini pointing at the
// server as its own role, and the runner started there as a process.
class Station
{
public:
    Station(const PgCluster &cluster, const QString &name)
        : m_cluster(cluster)
    {
        QDir dir(m_dir.path());
        dir.mkdir("lib");
        QFile::link(SIM_LIBRARY_PATH, dir.filePath("lib/libvarnak_c.so"));
        configure(name, name);
    }

    // The station's own name, and the role it logs in to the server as; no server without one.
    void configure(const QString &name, const QString &login)
    {
        QFile ini(QDir(m_dir.path()).filePath("config.ini"));
        if (ini.open(QIODevice::WriteOnly)) {
            ini.write(QString("[results]\nstation=%1\n").arg(name).toUtf8());
            if (!login.isEmpty())
                ini.write(QString("server=%1\n").arg(m_cluster.serverText(login)).toUtf8());
        }
    }

    void start(const QStringList &arguments, const QStringList &settings = {})
    {
        m_out.clear();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VARNAK_SIM_TAKE_MS", "0");
        env.insert("VARNAK_SIM_CARDS", "5000");
        for (const QString &setting : settings)
            env.insert(setting.section('=', 0, 0), setting.section('=', 1));
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(m_dir.path());
        m_process.start(BURNIN_PROGRAM, arguments);
    }

    int finish()
    {
        const bool ended = m_process.waitForFinished(kRunTimeoutMs)
            && m_process.exitStatus() == QProcess::NormalExit;
        m_err = m_process.readAllStandardError();
        m_out = m_out + m_process.readAllStandardOutput();
        return ended ? m_process.exitCode() : -1;
    }

    int run(const QStringList &arguments, const QStringList &settings = {})
    {
        m_out.clear();
        start(arguments, settings);
        return finish();
    }

    // Both streams; standard output alone.
    QByteArray output() const { return m_err + m_out; }
    QByteArray out() const { return m_out; }
    QString folder() const { return m_dir.path(); }
    QProcess &process() { return m_process; }

    // The station's own record, read as the history reads it.
    int localCards() const { return local("SELECT count(*) FROM cards").toInt(); }

    // The first value of statement on the station's own database; invalid on failure.
    QVariant local(const QString &statement) const
    {
        const QString name = QString("station-%1").arg(quintptr(this));
        QVariant value;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(QDir(m_dir.path()).filePath("results/results.sqlite"));
            QSqlQuery query(db);
            if (db.open() && query.exec(statement))
                value = query.next() ? query.value(0) : QVariant(0);
        }
        QSqlDatabase::removeDatabase(name);
        return value;
    }

private:
    const PgCluster &m_cluster;
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_err;
    QByteArray m_out;
};

} // namespace

// Stations forwarding to one shared server, each a command-line runner in a working folder of
// its own, against a real PostgreSQL cluster that the test stops and starts.
class tst_BurnInServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void twoStationsMeetOnTheServer();
    void serverRestartsMidRun();
    void batchCommittedButNotMarkedIsSentOnce();
    void stationWritesOnlyAsItself_data();
    void stationWritesOnlyAsItself();
    void nameThatIsNotTheLoginHoldsItsRunsBack();
    void runTheServerRefusesHoldsBackOnlyItself();
    void uploadWithoutRunByTheTimersUnit();
    void uploadLeavesARunningBurnInAlone();
    void uploadWaitsForAnotherForwarder();

private:
    int serverCards(const QString &station);
    // Every (run_id, card_index) of the server is there once, and one of the station's cards.
    void verifyOnce(const QString &station, int cards);

    PgCluster m_cluster;
};

void tst_BurnInServer::initTestCase()
{
    QString error;
    QVERIFY2(m_cluster.setUp({"station1", "station2", "kiosk9"}, &error), qPrintable(error));
}

void tst_BurnInServer::init()
{
    QVERIFY(!m_cluster.psql("TRUNCATE run_events, cards, runs").isNull());
}

int tst_BurnInServer::serverCards(const QString &station)
{
    return m_cluster
        .psql(QString("SELECT count(*) FROM cards JOIN runs USING (run_id) WHERE station = '%1'")
                  .arg(station))
        .toInt();
}

void tst_BurnInServer::verifyOnce(const QString &station, int cards)
{
    QCOMPARE(m_cluster.psql(QString("SELECT count(*), count(DISTINCT (run_id, card_index)) "
                                    "FROM cards JOIN runs USING (run_id) WHERE station = '%1'")
                                .arg(station)),
        QString("%1|%1").arg(cards));
}

void tst_BurnInServer::twoStationsMeetOnTheServer()
{
    Station first(m_cluster, "station1");
    Station second(m_cluster, "station2");
    first.start({"--cards", "500"});
    second.start({"--cards", "500"});
    QCOMPARE(first.finish(), 0);
    QCOMPARE(second.finish(), 0);

    verifyOnce("station1", 500);
    verifyOnce("station2", 500);
    // Both runs, each with its start, verdict and end, seen as one station's role sees them.
    QCOMPARE(m_cluster.psql("SELECT string_agg(station || ':' || events, ' ' ORDER BY station) "
                            "FROM runs JOIN (SELECT run_id, string_agg(kind, ',' ORDER BY seq) "
                            "AS events FROM run_events GROUP BY run_id) AS e USING (run_id)",
                 nullptr, "station1"),
        QString("station1:start,verdict,end station2:start,verdict,end"));
}

void tst_BurnInServer::serverRestartsMidRun()
{
    Station station(m_cluster, "station1");
    // About 20 ms a card: long enough to stop and start the server under the run.
    station.start({"--cards", "600"}, {"VARNAK_SIM_LATENCY_MS=2"});
    QTRY_VERIFY_WITH_TIMEOUT(serverCards("station1") > 0, kServerTimeoutMs);
    QVERIFY(m_cluster.stop());
    const int atStop = station.localCards();
    // The run goes on without the server.
    QTRY_VERIFY_WITH_TIMEOUT(station.localCards() >= atStop + 50, kServerTimeoutMs);
    QVERIFY(m_cluster.start());
    QCOMPARE(station.finish(), 0);
    QVERIFY2(station.output().contains("上传暂停"), station.output().constData());
    verifyOnce("station1", 600);
}

// The forwarder's test hook ends the runner right after the server's first commit, before the
// station marks the batch sent; the next run sends that batch again with its own cards.
void tst_BurnInServer::batchCommittedButNotMarkedIsSentOnce()
{
    Station station(m_cluster, "station1");
    station.start({"--cards", "300"},
        {QString(CResultsForwarder::kExitAfterCommitVariable) + "=1", "VARNAK_SIM_LATENCY_MS=1"});
    QCOMPARE(station.finish(), 99);
    const int sent = serverCards("station1");
    const int interrupted = station.localCards();
    QVERIFY2(sent > 0 && sent <= interrupted, qPrintable(QString::number(sent)));

    station.start({"--cards", "20"});
    QCOMPARE(station.finish(), 0);
    verifyOnce("station1", interrupted + 20);
}

namespace {

const char kRun2[] = "00000000-0000-0000-0000-000000000002";

QString runInsert(const QString &runId, const QString &station)
{
    return QString("INSERT INTO runs (run_id, station, mode, cards_planned, stop_on_failure, "
                   "created_at) VALUES ('%1', '%2', 'capture', 10, false, now())")
        .arg(runId, station);
}

} // namespace

// What station1's login may do to the server, with station2's run there.
void tst_BurnInServer::stationWritesOnlyAsItself_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("refusal");

    const QString ownRun = "00000000-0000-0000-0000-000000000001";
    const QString card = "INSERT INTO cards (run_id, card_index, card_number, passed, code, "
                         "elapsed_ms, device_ms, duplicate) VALUES ('%1', 1, '', true, 0, 1, 1, "
                         "false)";
    const QString event = "INSERT INTO run_events (run_id, seq, at, kind) VALUES ('%1', 9, now(), "
                          "'end')";
    const QString rls = "violates row-level security";
    QTest::newRow("its own run") << runInsert(ownRun, "station1") << QString();
    QTest::newRow("a run in another's name") << runInsert(ownRun, "station2") << rls;
    QTest::newRow("a run in a name of no login") << runInsert(ownRun, "kiosk1") << rls;
    QTest::newRow("a card into another's run") << card.arg(kRun2) << rls;
    QTest::newRow("an event into another's run") << event.arg(kRun2) << rls;
    QTest::newRow("another's run renamed")
        << QString("UPDATE runs SET station = 'station1' WHERE run_id = '%1'").arg(kRun2)
        << "permission denied";
    QTest::newRow("another's run removed")
        << QString("DELETE FROM runs WHERE run_id = '%1'").arg(kRun2) << "permission denied";
    QTest::newRow("as a role it has set")
        << "SET ROLE burnin_station; " + runInsert(ownRun, "burnin_station") << rls;
}

void tst_BurnInServer::stationWritesOnlyAsItself()
{
    QFETCH(QString, sql);
    QFETCH(QString, refusal);
    QVERIFY(!m_cluster.psql(runInsert(kRun2, "station2"), nullptr, "station2").isNull());

    QString error;
    const bool done = !m_cluster.psql(sql, &error, "station1").isNull();
    QVERIFY2(done == refusal.isEmpty(), qPrintable(error));
    QVERIFY2(error.contains(refusal), qPrintable(error));
    // Reading stays open: station1 sees station2's run as it was.
    QCOMPARE(m_cluster.psql(QString("SELECT station FROM runs WHERE run_id = '%1'").arg(kRun2),
                 nullptr, "station1"),
        QString("station2"));
}

// A station named kiosk9 that logs in as station1 is told so and forwards nothing of kiosk9's
// runs, while a run in the login's name goes; once the login is kiosk9 they go, exactly once.
void tst_BurnInServer::nameThatIsNotTheLoginHoldsItsRunsBack()
{
    Station station(m_cluster, "kiosk9");
    station.configure("kiosk9", "station1");
    station.start({"--cards", "20"});
    QCOMPARE(station.finish(), 0);
    QVERIFY2(station.output().contains(
                 "工位名“kiosk9”不是结果服务器的登录名“station1”：以该名写下的 1 次运行暂不上传"),
        station.output().constData());
    QVERIFY2(station.output().contains("ALTER ROLE station1 RENAME TO kiosk9"),
        station.output().constData());
    QCOMPARE(m_cluster.psql("SELECT count(*) FROM runs"), QString("0"));

    station.configure("station1", "station1");
    station.start({"--cards", "10"});
    QCOMPARE(station.finish(), 0);
    verifyOnce("station1", 10);
    QCOMPARE(serverCards("kiosk9"), 0);

    station.configure("kiosk9", "kiosk9");
    station.start({"--cards", "5"});
    QCOMPARE(station.finish(), 0);
    verifyOnce("kiosk9", 25);
    verifyOnce("station1", 10);
    QCOMPARE(station.localCards(), 35);
}

// A value the server's column cannot hold, in the station's record of its first run: that run
// waits, named, and the one after it goes; once mended, it goes too, and --upload exits 0.
void tst_BurnInServer::runTheServerRefusesHoldsBackOnlyItself()
{
    Station station(m_cluster, "station1");
    station.configure("station1", QString());
    QCOMPARE(station.run({"--cards", "4"}), 0);
    QCOMPARE(station.run({"--cards", "3"}), 0);
    const QString first
        = station.local("SELECT run_id FROM runs ORDER BY created_at, rowid LIMIT 1").toString();
    const QString poison = "UPDATE cards SET code = %1 WHERE card_index = 2 AND run_id = '%2'";
    QVERIFY(station.local(poison.arg("3000000000", first)).isValid());

    station.configure("station1", "station1");
    QCOMPARE(station.run({"--upload", "--json"}), 7);
    const QJsonObject upload
        = QJsonDocument::fromJson(station.out()).object().value("upload").toObject();
    QCOMPARE(upload.value("forwarded").toInt(), 3);
    QCOMPARE(upload.value("queued").toInt(), 4);
    QCOMPARE(upload.value("refused_runs").toInt(), 1);
    const QString why = upload.value("last_error").toString();
    QVERIFY2(why.startsWith("运行 " + first + " 被拒收：") && why.contains("out of range"),
        qPrintable(why));
    QCOMPARE(m_cluster.psql(QString("SELECT count(*) FROM runs WHERE run_id = '%1'").arg(first)),
        QString("0"));
    verifyOnce("station1", 3);

    QVERIFY(station.local(poison.arg("0", first)).isValid());
    QCOMPARE(station.run({"--upload"}), 0);
    verifyOnce("station1", 7);
}

namespace {

// The unit's key = value lines of one section.
QMap<QString, QString> unitSection(const QString &path, const QString &section)
{
    QFile file(path);
    QMap<QString, QString> values;
    if (!file.open(QIODevice::ReadOnly))
        return values;
    QString current;
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.startsWith('['))
            current = line.mid(1, line.indexOf(']') - 1);
        else if (current == section && line.contains('=') && !line.startsWith('#'))
            values.insert(line.section('=', 0, 0), line.section('=', 1));
    }
    return values;
}

QString program(const QString &name, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QDir::tempPath());
    process.setProcessEnvironment(env);
    process.start(name, arguments);
    process.waitForFinished(kServerTimeoutMs);
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError())
        .trimmed();
}

} // namespace

// A backlog left while the server was down goes with --upload as the timer's service starts it:
// in the instance's folder, exit 7 while the server is down, 0 once every card is there once.
void tst_BurnInServer::uploadWithoutRunByTheTimersUnit()
{
    const QString units = UPLOAD_UNITS_FOLDER;
    const QString service = units + "/card-dispenser-burnin-upload@.service";
    const QMap<QString, QString> unit = unitSection(service, "Service");
    QCOMPARE(unit.value("WorkingDirectory"), QString("%f"));
    QStringList command = unit.value("ExecStart").split(' ');
    QVERIFY2(command.takeFirst().endsWith("/bin/card-dispenser-burnin"), qPrintable(service));
    QCOMPARE(command, QStringList {"--upload"});
    const QMap<QString, QString> timer
        = unitSection(units + "/card-dispenser-burnin-upload@.timer", "Timer");
    QCOMPARE(timer.value("OnCalendar"), QString("*:0/10"));
    QCOMPARE(timer.value("Persistent"), QString("true"));

    Station station(m_cluster, "station1");
    // systemd's own reading of both units, for the station's folder and this build's runner.
    QVERIFY(!QStandardPaths::findExecutable("systemd-analyze").isEmpty());
    const QString instance = program("systemd-escape", {"--path", station.folder()});
    QTemporaryDir verified;
    for (const QString kind : {"service", "timer"}) {
        QFile source(units + "/card-dispenser-burnin-upload@." + kind);
        QFile copy(verified.filePath("card-dispenser-burnin-upload@" + instance + "." + kind));
        QVERIFY(source.open(QIODevice::ReadOnly) && copy.open(QIODevice::WriteOnly));
        copy.write(QString::fromUtf8(source.readAll())
                       .replace(QRegularExpression("ExecStart=\\S+"),
                           "ExecStart=" + QString(BURNIN_PROGRAM))
                       .toUtf8());
    }
    QStringList verify {"verify", "--user", "--man=no"};
    for (const QString &name : QDir(verified.path()).entryList(QDir::Files))
        verify << verified.filePath(name);
    const QString found = program("systemd-analyze", verify);
    QVERIFY2(found.isEmpty(), qPrintable(found));

    QVERIFY(m_cluster.stop());
    QCOMPARE(station.run({"--cards", "50"}), 0);
    QCOMPARE(station.run(command + QStringList {"--json"}), 7);
    QVERIFY2(station.output().contains("127.0.0.1"), station.output().constData());
    const QJsonObject upload
        = QJsonDocument::fromJson(station.out()).object().value("upload").toObject();
    QCOMPARE(upload.value("queued").toInt(), 50);
    QCOMPARE(upload.value("forwarded").toInt(), 0);
    QVERIFY(!upload.value("last_error").toString().isEmpty());

    QVERIFY(m_cluster.start());
    QCOMPARE(station.run(command), 0);
    QVERIFY2(
        station.out().contains("上传完成：本次上传 50 张，待上传 0 张"), station.out().constData());
    verifyOnce("station1", 50);
    QCOMPARE(station.run(command), 0);
    QVERIFY2(station.out().contains("本次上传 0 张"), station.out().constData());

    station.configure("station1", QString());
    QCOMPARE(station.run(command), 2);
    QVERIFY2(station.output().contains("未配置结果服务器"), station.output().constData());
}

// While a burn-in holds the station, --upload leaves the forwarding to it and changes nothing.
void tst_BurnInServer::uploadLeavesARunningBurnInAlone()
{
    Station station(m_cluster, "station1");
    station.start({"--cards", "300"}, {"VARNAK_SIM_LATENCY_MS=2"});
    QTRY_VERIFY_WITH_TIMEOUT(serverCards("station1") > 0, kServerTimeoutMs);
    QProcess probe;
    probe.setWorkingDirectory(station.folder());
    probe.start(BURNIN_PROGRAM, {"--upload"});
    QVERIFY(probe.waitForFinished(kServerTimeoutMs));
    QCOMPARE(probe.exitCode(), 0);
    QVERIFY2(probe.readAllStandardOutput().contains("本工位正在老化"), "no word of the burn-in");
    QCOMPARE(station.finish(), 0);
    verifyOnce("station1", 300);
}

// Another process forwarding holds the upload lock: --upload waits for it and then sends the rest.
void tst_BurnInServer::uploadWaitsForAnotherForwarder()
{
    Station station(m_cluster, "station1");
    station.configure("station1", QString());
    QCOMPARE(station.run({"--cards", "30"}), 0);
    station.configure("station1", "station1");

    CStationLock other(QDir(station.folder()).filePath("results"), CStationLock::Claim::Upload);
    QVERIFY(other.tryLock());
    station.start({"--upload"});
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT(
        (said += station.process().readAllStandardOutput()).contains("等待其结束"),
        kServerTimeoutMs);
    QCOMPARE(serverCards("station1"), 0);
    other.unlock();
    QCOMPARE(station.finish(), 0);
    verifyOnce("station1", 30);
}

QTEST_GUILESS_MAIN(tst_BurnInServer)
#include "tst_burninserver.moc"
