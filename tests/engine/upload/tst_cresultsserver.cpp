// SPDX-License-Identifier: MIT
#include "engine/store/cresultsstore.h"
#include "engine/upload/cresultsforwarder.h"
#include "engine/upload/cresultsoutbox.h"
#include "engine/upload/cresultsserver.h"
#include "pgcluster.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

BurnInRecord card(int index)
{
    BurnInRecord record;
    record.index = index;
    // Eight hours east of UTC, so that a time stored without its offset shows.
    record.started
        = QDateTime(QDate(2026, 12, 8), QTime(10, 0), Qt::OffsetFromUTC, 8 * 3600).addSecs(index);
    record.cardNumber = QStringLiteral("62%1").arg(index);
    record.passed = index % 2 == 1;
    if (!record.passed) {
        record.failedStep = BurnInStep::ReadChip;
        record.failedCode = -3;
    }
    record.elapsedMs = 900;
    return record;
}

} // namespace

// The shared results server as a station meets it: a real PostgreSQL cluster of the test's own
// with sql/server.sql loaded, reached through Qt's QPSQL driver as a station's role.
class tst_CResultsServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void address_data();
    void address();
    void refusals_data();
    void refusals();
    void stationCannotRewrite_data();
    void stationCannotRewrite();
    void sameBatchTwiceIsStoredOnce();
    void refusedUploadSaysSoOnce();
    void olderServerIsBroughtUpToDate_data();
    void olderServerIsBroughtUpToDate();

private:
    PgCluster m_cluster;
};

void tst_CResultsServer::initTestCase()
{
    QString error;
    QVERIFY2(m_cluster.setUp({"station1", "changed", "outsider"}, &error), qPrintable(error));
    QVERIFY(!m_cluster.psql("ALTER ROLE changed PASSWORD 'not-in-pgpass'").isNull());
    QVERIFY(!m_cluster.psql("REVOKE burnin_station FROM outsider").isNull());
}

void tst_CResultsServer::address_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown"); // empty when refused
    QTest::addColumn<QString>("option"); // among the driver's options, or the error's words

    QTest::newRow("plain") << "host=qa-db port=5432 dbname=burnin user=station7"
                           << "station7@qa-db:5432/burnin"
                           << "dbname='burnin'";
    QTest::newRow("quoted with a space and a quote") << "host=qa-db user='st \\'7'"
                                                     << "st '7@qa-db"
                                                     << "user='st \\'7'";
    QTest::newRow("the tool's timeout wins") << "host=h connect_timeout=600"
                                             << "h"
                                             << "connect_timeout=2";
    QTest::newRow("a password in capitals") << "host=h PASSWORD=secret"
                                            << ""
                                            << "~/.pgpass";
    QTest::newRow("a URI") << "postgresql://u:secret@h/db"
                           << ""
                           << "key=value";
    QTest::newRow("an open quote") << "host='qa-db"
                                   << ""
                                   << "单引号";
}

void tst_CResultsServer::address()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(QString, option);

    QString error;
    const std::optional<ResultsServerAddress> address = parseResultsServer(text, &error);
    QCOMPARE(address.has_value(), !shown.isEmpty());
    if (address) {
        QCOMPARE(address->shown, shown);
        QVERIFY2(address->connectOptions.contains(option), qPrintable(address->connectOptions));
        QVERIFY(!address->connectOptions.contains("connect_timeout='600'"));
    } else {
        QVERIFY2(error.contains(option), qPrintable(error));
        QVERIFY(!error.contains("secret"));
    }
}

void tst_CResultsServer::refusals_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("server"); // empty: the cluster's
    QTest::addColumn<QString>("before"); // run as the superuser first, and undone after
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("words");

    const int refused = int(CResultsServer::Failure::Refused);
    QTest::newRow("wrong password") << "changed"
                                    << ""
                                    << ""
                                    << "" << refused << "password";
    QTest::newRow("no station privilege") << "outsider"
                                          << ""
                                          << ""
                                          << "" << refused << "permission";
    QTest::newRow("a newer schema version")
        << "station1"
        << ""
        << "UPDATE burnin_schema SET version = 5"
        << "UPDATE burnin_schema SET version = 4" << refused << "第 5 版，本程序需要第 4 版";
    // A server not yet upgraded, as a station of the version before meets an upgraded one.
    QTest::newRow("the schema version before")
        << "station1"
        << ""
        << "UPDATE burnin_schema SET version = 3"
        << "UPDATE burnin_schema SET version = 4" << refused << "第 3 版，本程序需要第 4 版";
    QTest::newRow("no schema") << "station1"
                               << ""
                               << "ALTER TABLE burnin_schema RENAME TO old_schema"
                               << "ALTER TABLE old_schema RENAME TO burnin_schema" << refused
                               << "server.sql";
    // A port that nothing listens on: the cluster's own, moved by one.
    QTest::newRow("nobody listening")
        << "station1"
        << QString("host=127.0.0.1 port=%1 dbname=burnin user=station1")
               .arg(qEnvironmentVariableIntValue("PGPORT") + 1)
        << ""
        << "" << int(CResultsServer::Failure::Unreachable) << "127.0.0.1";
}

void tst_CResultsServer::refusals()
{
    QFETCH(QString, user);
    QFETCH(QString, server);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(int, failure);
    QFETCH(QString, words);

    if (!before.isEmpty())
        QVERIFY(!m_cluster.psql(before).isNull());
    QString error;
    const auto address
        = parseResultsServer(server.isEmpty() ? m_cluster.serverText(user) : server, &error);
    QVERIFY(address);
    CResultsServer connection;
    const bool opened = connection.open(*address);
    if (!after.isEmpty())
        QVERIFY(!m_cluster.psql(after).isNull());
    QVERIFY(!opened);
    QCOMPARE(int(connection.failure()), failure);
    QVERIFY2(connection.error().contains(words), qPrintable(connection.error()));
    QVERIFY(!connection.error().contains("pw-"));
}

void tst_CResultsServer::stationCannotRewrite_data()
{
    QTest::addColumn<QString>("statement");
    QTest::newRow("update a card") << "UPDATE cards SET passed = true";
    QTest::newRow("delete a run") << "DELETE FROM runs";
    QTest::newRow("empty a table") << "TRUNCATE cards";
}

void tst_CResultsServer::stationCannotRewrite()
{
    QFETCH(QString, statement);
    QString error;
    QVERIFY(m_cluster.psql(statement, &error, "station1").isNull());
    QVERIFY2(
        error.contains("permission denied") || error.contains("must be owner"), qPrintable(error));
}

// The batch the server committed but the station never marked, as after a crash between the two:
// sent again, it changes nothing, and the marks move the outbox on.
void tst_CResultsServer::sameBatchTwiceIsStoredOnce()
{
    QTemporaryDir folder;
    CResultsStore store;
    QVERIFY(store.open(folder.path()));
    ResultsRunPlan plan;
    plan.station = "station1";
    plan.cardsPlanned = 3;
    const QString runId = store.createRun(plan);
    ResultsRunEvent start;
    start.kind = ResultsEventKind::Start;
    QVERIFY(store.addEvent(runId, start));
    for (int index = 1; index <= 3; ++index)
        QVERIFY(store.addCard(runId, card(index)));

    QString error;
    CResultsServer server;
    QVERIFY2(server.open(*parseResultsServer(m_cluster.serverText("station1"), &error)),
        qPrintable(server.error()));
    CResultsOutbox outbox(store);
    const std::optional<CResultsOutbox::Batch> batch = outbox.next(2);
    QVERIFY(batch && batch->cardCount == 2);
    // The events wait for the run's last card.
    QVERIFY(batch->events.isEmpty());
    QVERIFY(server.insertBatch(batch->runs, batch->events, batch->cards));
    QVERIFY2(
        server.insertBatch(batch->runs, batch->events, batch->cards), qPrintable(server.error()));
    QVERIFY(outbox.markSent(*batch));
    QCOMPARE(outbox.unsentCards(), 1);

    const std::optional<CResultsOutbox::Batch> rest = outbox.next(100);
    QVERIFY(rest && rest->cardCount == 1 && rest->runs.isEmpty() && !rest->events.isEmpty());
    QVERIFY(server.insertBatch(rest->runs, rest->events, rest->cards));
    QVERIFY(outbox.markSent(*rest));
    // An older batch's marks never take the run back.
    QVERIFY(outbox.markSent(*batch));
    QVERIFY(outbox.next(100)->isEmpty());
    QCOMPARE(outbox.unsentCards(), 0);

    const QString where = QString(" WHERE run_id = '%1'").arg(runId);
    QCOMPARE(m_cluster.psql("SELECT count(*), count(DISTINCT card_index), sum(passed::int), "
                            "min(started_at) AT TIME ZONE 'UTC' FROM cards"
                 + where),
        QString("3|3|2|2026-12-08 02:00:01"));
    QCOMPARE(m_cluster.psql("SELECT string_agg(kind, ',' ORDER BY seq) FROM run_events" + where),
        QString("start"));
}

// What LabelUpload and the log pane are told when the server refuses a station's login: the
// count first, then one line and the time since when, and nothing more at the end.
void tst_CResultsServer::refusedUploadSaysSoOnce()
{
    QTemporaryDir folder;
    {
        CResultsStore store;
        QVERIFY(store.open(folder.path()));
        const QString runId = store.createRun(ResultsRunPlan());
        QVERIFY(store.addCard(runId, card(1)) && store.addCard(runId, card(2)));
    }
    CResultsUpload upload(folder.path(), m_cluster.serverText("changed"));
    QSignalSpy lines(&upload, &CResultsUpload::line);
    QSignalSpy statuses(&upload, &CResultsUpload::statusChanged);
    upload.start();
    QTRY_COMPARE(upload.status().state, ResultsUploadStatus::State::Unreachable);
    QCOMPARE(resultsUploadText(statuses.first().first().value<ResultsUploadStatus>()),
        QString("上传：待上传 2 张"));
    QVERIFY(resultsUploadText(upload.status()).startsWith("上传：服务器不可达（自 "));
    upload.finish(1000);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().first().toString().startsWith("上传暂停：结果服务器 changed@127.0.0.1"),
        qPrintable(lines.first().first().toString()));
}

void tst_CResultsServer::olderServerIsBroughtUpToDate_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("undo"); // what the versions after it added
    QTest::addColumn<QString>("oldRun");

    QString policies = "DROP VIEW unit_history, failure_pareto, model_mcbf;"
                       " DROP FUNCTION failure_pareto;";
    for (const QString table : {"runs", "run_events", "cards"}) {
        policies += QString(" DROP POLICY everyone_reads ON %1;"
                            " DROP POLICY station_writes_its_own ON %1;"
                            " ALTER TABLE %1 DISABLE ROW LEVEL SECURITY;")
                        .arg(table);
    }
    const QString plan = policies
        + " ALTER TABLE runs DROP COLUMN plan, DROP COLUMN plan_mcbf_lower,"
          " DROP COLUMN plan_discrimination, DROP COLUMN plan_producer_risk,"
          " DROP COLUMN plan_consumer_risk;";
    QTest::newRow("version 1") << 1 << plan + " ALTER TABLE cards DROP COLUMN outcome;"
                               << "00000000-0000-4000-8000-000000000001";
    QTest::newRow("version 2") << 2 << plan << "00000000-0000-4000-8000-000000000002";
    QTest::newRow("version 3") << 3 << policies << "00000000-0000-4000-8000-000000000003";
}

// The administrator runs server.sql again over a server of a version before, which already
// holds a station's cards; running it twice changes nothing more.
void tst_CResultsServer::olderServerIsBroughtUpToDate()
{
    QFETCH(int, version);
    QFETCH(QString, undo);
    QFETCH(QString, oldRun);
    QString error;
    QVERIFY2(!m_cluster
                  .psql(undo + QString(" UPDATE burnin_schema SET version = %1;").arg(version)
                          + " INSERT INTO runs (run_id, station, mode, cards_planned,"
                            " stop_on_failure, created_at) VALUES ('"
                          + oldRun
                          + "', 'kiosk1', 'capture', 1, false, now());"
                            " INSERT INTO cards (run_id, card_index, card_number, passed,"
                            " failed_step, code, elapsed_ms, device_ms, duplicate) VALUES ('"
                          + oldRun + "', 1, '621', false, 'read_chip', -3, 900, 900, false)",
                      &error)
                  .isNull(),
        qPrintable(error));
    QVERIFY2(m_cluster.loadSchema(&error), qPrintable(error));
    QVERIFY2(m_cluster.loadSchema(&error), qPrintable(error));
    QCOMPARE(
        m_cluster.psql("SELECT string_agg(version::text, ',') FROM burnin_schema"), QString("4"));
    QCOMPARE(m_cluster.psql("SELECT outcome, code FROM cards WHERE run_id = '" + oldRun + "'"),
        QString("code|-3"));
    const QString planColumns = "SELECT plan, plan_mcbf_lower, plan_discrimination,"
                                " plan_producer_risk, plan_consumer_risk FROM runs"
                                " WHERE run_id = '";
    // Judged by the confidence bound, as every run before the plans was.
    QCOMPARE(m_cluster.psql(planColumns + oldRun + "'"), QString("bound|0|0|0|0"));
    // Another station's run of before stays readable to every station.
    QCOMPARE(m_cluster.psql(
                 "SELECT station FROM runs WHERE run_id = '" + oldRun + "'", nullptr, "station1"),
        QString("kiosk1"));

    // A station of this version forwards a run judged by a plan, with a card whose driver hung:
    // no code, and says so.
    QTemporaryDir folder;
    CResultsStore store;
    QVERIFY(store.open(folder.path()));
    ResultsRunPlan plan;
    plan.station = "station1";
    plan.limits.test.kind = Qualification::PlanKind::Sequential;
    plan.limits.test.mcbfLower = 10000;
    plan.limits.test.consumerRisk = 20;
    const QString runId = store.createRun(plan);
    BurnInRecord hung = card(2);
    hung.failedCode = 0;
    hung.outcome = BurnInOutcome::NoReply;
    QVERIFY(store.addCard(runId, card(1)) && store.addCard(runId, hung));
    CResultsServer server;
    QVERIFY2(server.open(*parseResultsServer(m_cluster.serverText("station1"), &error)),
        qPrintable(server.error()));
    CResultsOutbox outbox(store);
    const std::optional<CResultsOutbox::Batch> batch = outbox.next(100);
    QVERIFY(batch && batch->cardCount == 2);
    QVERIFY2(
        server.insertBatch(batch->runs, batch->events, batch->cards), qPrintable(server.error()));
    QCOMPARE(m_cluster.psql("SELECT string_agg(outcome || ':' || code, ',' ORDER BY card_index)"
                            " FROM cards WHERE run_id = '"
                 + runId + "'"),
        QString("code:0,no_reply:0"));
    QCOMPARE(m_cluster.psql(planColumns + runId + "'"), QString("sequential|10000|2|10|20"));
}

QTEST_GUILESS_MAIN(tst_CResultsServer)
#include "tst_cresultsserver.moc"
