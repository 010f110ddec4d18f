// SPDX-License-Identifier: MIT
#include "engine/upload/cresultsserver.h"

#include "engine/store/resultsschema.h"
#include "engine/store/sqlconnection.h"
#include "qtcompat.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

const char kDriver[] = "QPSQL";
// libpq waits this long for a server that does not answer, at most, per address.
constexpr int kConnectTimeoutSeconds = 2;
// A statement that takes longer is cancelled by the server, so that a batch on a server that has
// stopped answering ends within a few seconds and closing the window never waits for it long.
constexpr int kStatementTimeoutMs = 5000;
// The server's statement_timeout cannot help when the network itself goes silent: the kernel
// then gives up on what it sent after this long, and the statement fails on the station's side.
constexpr int kTcpUserTimeoutMs = 10000;

const char kNoSuchTable[] = "42P01";
// SQLSTATE classes and codes that no retry mends without a person.
const char *const kRefusedStates[] = {
    "28", // invalid authorization
    "42501", // insufficient privilege
    "3D000", // no such database
    "42P01", // no such table: not this program's schema
    "42703", // no such column: another version's schema
    // What a batch holds: a value out of the column's range, a card of a run the server lacks.
    // The forwarder holds back the run that carries it.
    "22", // data exception
    "23", // integrity constraint violation
};
// What libpq says, in its own words, when the server was reached and refused the login. It has no
// SQLSTATE to give before a session exists.
const char *const kRefusedLogins[] = {
    "password authentication failed",
    "no password supplied",
    "does not exist",
    "no pg_hba.conf entry",
    "permission denied",
};

// libpq's quoting of a value: single quotes, with \ and ' escaped.
QString quoted(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

bool refused(const QSqlError &error)
{
    const QString state = error.nativeErrorCode();
    for (const char *refusedState : kRefusedStates) {
        if (!state.isEmpty() && state.startsWith(QLatin1String(refusedState)))
            return true;
    }
    if (!state.isEmpty())
        return false;
    const QString text = error.text();
    for (const char *words : kRefusedLogins) {
        if (text.contains(QLatin1String(words), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// INSERT … SELECT of the rows of a JSON array whose keys are the table's columns.
QString insertFromJson(const QString &table, const QStringList &columns)
{
    const QString list = columns.join(QStringLiteral(", "));
    return QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM "
                          "jsonb_populate_recordset(NULL::%1, CAST(? AS jsonb)) "
                          "ON CONFLICT DO NOTHING")
        .arg(table, list);
}

} // namespace

std::optional<ResultsServerAddress> parseResultsServer(const QString &text, QString *error)
{
    const QString source = text.trimmed();
    if (source.contains(QLatin1String("://"))) {
        *error = QStringLiteral("[results] server 请写成 key=value 的形式，如 host=qa-db "
                                "port=5432 dbname=burnin user=station7");
        return std::nullopt;
    }
    // libpq's own grammar: key = value, the value bare up to a space, or in single quotes; a
    // backslash escapes the next character in both.
    QStringList options;
    QString host;
    QString port;
    QString dbname;
    QString user;
    qsizetype i = 0;
    const qsizetype n = source.size();
    const auto skipSpaces = [&] {
        while (i < n && source.at(i).isSpace())
            ++i;
    };
    while (skipSpaces(), i < n) {
        QString key;
        while (i < n && !source.at(i).isSpace() && source.at(i) != QLatin1Char('='))
            key += source.at(i++);
        skipSpaces();
        if (key.isEmpty() || i >= n || source.at(i) != QLatin1Char('=')) {
            *error = QStringLiteral("[results] server 无法识别：%1 后缺少 =").arg(key);
            return std::nullopt;
        }
        ++i;
        skipSpaces();
        QString value;
        const bool inQuotes = i < n && source.at(i) == QLatin1Char('\'');
        if (inQuotes)
            ++i;
        bool closed = !inQuotes;
        while (i < n) {
            const QChar c = source.at(i++);
            if (c == QLatin1Char('\\') && i < n) {
                value += source.at(i++);
            } else if (inQuotes && c == QLatin1Char('\'')) {
                closed = true;
                break;
            } else if (!inQuotes && c.isSpace()) {
                break;
            } else {
                value += c;
            }
        }
        if (!closed) {
            *error = QStringLiteral("[results] server 无法识别：%1 的值缺少结尾的单引号").arg(key);
            return std::nullopt;
        }
        key = key.toLower();
        if (key == QLatin1String("password") || key == QLatin1String("passfile")) {
            *error = QStringLiteral("[results] server 不得含有密码：请把密码写在 ~/.pgpass "
                                    "（或 PGPASSFILE 指向的文件）中");
            return std::nullopt;
        }
        // Qt's driver turns every ';' of its options into a space.
        if (value.contains(QLatin1Char(';'))) {
            *error = QStringLiteral("[results] server 的 %1 不能含有分号").arg(key);
            return std::nullopt;
        }
        if (key == QLatin1String("connect_timeout") || key == QLatin1String("tcp_user_timeout"))
            continue;
        if (key == QLatin1String("host") || key == QLatin1String("hostaddr"))
            host = host.isEmpty() ? value : host;
        else if (key == QLatin1String("port"))
            port = value;
        else if (key == QLatin1String("dbname"))
            dbname = value;
        else if (key == QLatin1String("user"))
            user = value;
        options << key + QLatin1Char('=') + quoted(value);
    }
    options << QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutSeconds)
            << QStringLiteral("tcp_user_timeout=%1").arg(kTcpUserTimeoutMs)
            << QStringLiteral("application_name=card-dispenser-test");
    ResultsServerAddress address;
    address.connectOptions = options.join(QLatin1Char(';'));
    address.shown = (user.isEmpty() ? QString() : user + QLatin1Char('@'))
        + (host.isEmpty() ? QStringLiteral("localhost") : host)
        + (port.isEmpty() ? QString() : QLatin1Char(':') + port)
        + (dbname.isEmpty() ? QString() : QLatin1Char('/') + dbname);
    return address;
}

CResultsServer::CResultsServer() = default;

CResultsServer::~CResultsServer()
{
    close();
}

bool CResultsServer::open(const ResultsServerAddress &address)
{
    close();
    m_shown = address.shown;
    m_error.clear();
    m_failure = Failure::None;
    if (!QSqlDatabase::isDriverAvailable(QLatin1String(kDriver))) {
        m_failure = Failure::Refused;
        m_error = QStringLiteral("无法连接结果服务器 %1：缺少 Qt 的 PostgreSQL 驱动 QPSQL，"
                                 "请安装 %2")
                      .arg(m_shown, QtCompat::postgresDriverPackage());
        return false;
    }
    m_thread = QThread::currentThread();
    m_db = addSqlConnection(QLatin1String(kDriver), QStringLiteral("cdt-server-"), &m_connection);
    m_db.setConnectOptions(address.connectOptions);
    if (!m_db.open()) {
        failed(m_db.lastError());
        return false;
    }
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SET statement_timeout = %1").arg(kStatementTimeoutMs)))
        return failed(query.lastError());
    if (!query.exec(QStringLiteral("SELECT max(version) FROM burnin_schema")) || !query.next()) {
        if (query.lastError().nativeErrorCode() != QLatin1String(kNoSuchTable))
            return failed(query.lastError());
        m_failure = Failure::Refused;
        m_error = QStringLiteral("结果服务器 %1 上没有本程序的结构（第 %2 版）：请管理员先运行 "
                                 "server.sql")
                      .arg(m_shown)
                      .arg(kSchemaVersion);
        close();
        return false;
    }
    const int version = query.value(0).toInt();
    if (version != kSchemaVersion) {
        m_failure = Failure::Refused;
        m_error = QStringLiteral("结果服务器 %1 的结构是第 %2 版，本程序需要第 %3 版：未上传")
                      .arg(m_shown)
                      .arg(version)
                      .arg(kSchemaVersion);
        close();
        return false;
    }
    return readLogin();
}

bool CResultsServer::readLogin()
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT session_user")) || !query.next())
        return failed(query.lastError());
    m_login = query.value(0).toString();
    return true;
}

void CResultsServer::close()
{
    removeSqlConnection(m_db, &m_connection, m_thread);
}

bool CResultsServer::failed(const QSqlError &error)
{
    m_failure = refused(error) ? Failure::Refused : Failure::Unreachable;
    // libpq's first line says what happened; the lines after it guess at why, over several
    // lines that a log pane line cannot hold.
    QString why = error.databaseText().trimmed();
    if (why.isEmpty())
        why = error.text().trimmed();
    why = why.section(QLatin1Char('\n'), 0, 0).simplified();
    m_error = QStringLiteral("结果服务器 %1：%2").arg(m_shown, why);
    // A connection in an unknown state is not used again: the next attempt opens a new one.
    close();
    return false;
}

bool CResultsServer::insertBatch(
    const QByteArray &runs, const QByteArray &events, const QByteArray &cards)
{
    if (!isOpen()) {
        m_failure = Failure::Unreachable;
        m_error = QStringLiteral("结果服务器 %1 未连接").arg(m_shown);
        return false;
    }
    QStringList runColumns = ResultsSchema::planColumns();
    QStringList eventColumns = ResultsSchema::eventColumns();
    QStringList cardColumns = ResultsSchema::cardColumns();
    for (QStringList *columns : {&runColumns, &eventColumns, &cardColumns})
        columns->prepend(QStringLiteral("run_id"));
    const struct
    {
        const QByteArray &rows;
        QString sql;
    } inserts[] = {
        // Runs first: the events and cards refer to them.
        {runs, insertFromJson(QStringLiteral("runs"), runColumns)},
        {events, insertFromJson(QStringLiteral("run_events"), eventColumns)},
        {cards, insertFromJson(QStringLiteral("cards"), cardColumns)},
    };
    if (!m_db.transaction())
        return failed(m_db.lastError());
    QSqlQuery query(m_db);
    for (const auto &insert : inserts) {
        if (insert.rows.isEmpty())
            continue;
        if (!query.prepare(insert.sql))
            return failed(query.lastError());
        query.addBindValue(QString::fromUtf8(insert.rows));
        // Closing the connection on the failure rolls the transaction back.
        if (!query.exec())
            return failed(query.lastError());
    }
    if (!m_db.commit())
        return failed(m_db.lastError());
    m_error.clear();
    return true;
}
