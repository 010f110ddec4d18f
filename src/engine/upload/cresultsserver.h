// SPDX-License-Identifier: MIT
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QThread>

#include <optional>

class QSqlError;

// Where the shared results server is, from config.ini's [results] server: a libpq connection
// string of key=value pairs, e.g. "host=qa-db port=5432 dbname=burnin user=station7". The
// password is libpq's own business (~/.pgpass or PGPASSFILE): a string that carries one is
// refused, and no text made from it ever holds one.
struct ResultsServerAddress
{
    QString connectOptions; // for Qt's QPSQL driver, with the tool's timeouts added
    QString shown; // for people: user@host:port/dbname
};

// std::nullopt with *error set when the text cannot be used; an empty text is no server at all,
// and is not parsed.
std::optional<ResultsServerAddress> parseResultsServer(const QString &text, QString *error);

// One connection to the shared results server through Qt's QPSQL driver. It belongs to the
// thread that opened it, as Qt SQL requires: the forwarder has one on its thread, the fleet view
// another on the history's. Connecting waits at most a couple of seconds, and every statement is
// cut off after a few, so that a lost network never holds a thread for long.
class CResultsServer
{
public:
    // The server's schema version that this program writes; sql/server.sql creates it.
    static constexpr int kSchemaVersion = 4;

    enum class Failure {
        None,
        // The network, or a server starting, stopping or restarting: worth trying again soon.
        Unreachable,
        // The driver, the password, a privilege or the schema: trying again changes nothing
        // until a person does something.
        Refused,
    };

    CResultsServer();
    ~CResultsServer();
    CResultsServer(const CResultsServer &) = delete;
    CResultsServer &operator=(const CResultsServer &) = delete;

    // Connects and checks the schema version; never changes the server's schema.
    bool open(const ResultsServerAddress &address);
    bool isOpen() const { return m_db.isOpen(); }
    void close();
    Failure failure() const { return m_failure; }
    // The role this connection logged in as, which the server takes for the station's name: a
    // run goes only in its login's name. Read anew by readLogin(), as an administrator may
    // rename the role of a session that is open.
    QString login() const { return m_login; }
    bool readLogin();
    // Names the server as address.shown does; empty after a call that succeeded.
    QString error() const { return m_error; }

    // Inserts one batch in one transaction; each argument is a JSON array of rows keyed by the
    // table's column names, or empty. Rows the server has already are left as they are.
    bool insertBatch(const QByteArray &runs, const QByteArray &events, const QByteArray &cards);

    // For the fleet view's reads (resultsfleet.h), on this connection's thread. A read that
    // fails is reported through failed(), which sorts it and closes a connection that is lost.
    QSqlDatabase &database() { return m_db; }
    bool failed(const QSqlError &error);

private:
    QSqlDatabase m_db;
    QString m_connection;
    QThread *m_thread = nullptr; // the thread that opened the connection; not owned
    QString m_shown;
    QString m_login;
    QString m_error;
    Failure m_failure = Failure::None;
};
