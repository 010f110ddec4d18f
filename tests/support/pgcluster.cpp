// SPDX-License-Identifier: MIT
#include "pgcluster.h"

#include <QFile>
#include <QProcess>

namespace {

constexpr int kPsqlTimeoutMs = 60000;

QString password(const QString &user)
{
    return "pw-" + user;
}

// psql on the cluster's address, stopping at the first error; its output, or a null string
// with *error set.
QString runPsql(const QProcessEnvironment &env, const QStringList &arguments, QString *error)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start("psql", QStringList {"-h", "127.0.0.1", "-v", "ON_ERROR_STOP=1"} + arguments);
    if (!process.waitForFinished(kPsqlTimeoutMs) || process.exitCode() != 0) {
        if (error)
            *error = QString::fromLocal8Bit(process.readAllStandardError());
        return QString();
    }
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return out.isNull() ? QString("") : out;
}

} // namespace

bool PgCluster::setUp(const QStringList &stations, QString *error)
{
    m_port = qEnvironmentVariable("PGPORT");
    m_superPassword = qEnvironmentVariable("PGPASSWORD");
    if (m_port.isEmpty() || m_superPassword.isEmpty() || !m_dir.isValid()) {
        *error = "not started by with-postgres.sh";
        return false;
    }
    QFile passFile(m_dir.filePath("pgpass"));
    if (psql(QString("CREATE DATABASE %1").arg(kDatabase), error, "-").isNull()
        || !loadSchema(error) || !passFile.open(QIODevice::WriteOnly))
        return false;
    for (const QString &station : stations) {
        if (psql(QString("CREATE ROLE %1 LOGIN PASSWORD '%2' IN ROLE burnin_station")
                     .arg(station, password(station)),
                error)
                .isNull())
            return false;
        passFile.write(QString("127.0.0.1:%1:%2:%3:%4\n")
                           .arg(m_port, kDatabase, station, password(station))
                           .toUtf8());
    }
    passFile.close();
    passFile.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    qputenv("PGPASSFILE", passFile.fileName().toLocal8Bit());
    qunsetenv("PGPASSWORD");
    return true;
}

bool PgCluster::loadSchema(QString *error) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PGPASSWORD", m_superPassword);
    return !runPsql(env, {"-d", kDatabase, "-q", "-f", SERVER_SQL}, error).isNull();
}

QString PgCluster::serverText(const QString &station) const
{
    return QString("host=127.0.0.1 port=%1 dbname=%2 user=%3").arg(m_port, kDatabase, station);
}

QString PgCluster::psql(const QString &sql, QString *error, const QString &user) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const bool super = user.isEmpty() || user == "-";
    env.insert("PGPASSWORD", super ? m_superPassword : password(user));
    if (!super)
        env.insert("PGUSER", user);
    // "-" is the superuser in the database every cluster has, before the results one exists.
    return runPsql(env, {"-d", user == "-" ? "postgres" : kDatabase, "-At", "-c", sql}, error);
}

bool PgCluster::stop() const
{
    return control("stop");
}

bool PgCluster::start() const
{
    return control("start");
}

bool PgCluster::control(const QString &action) const
{
    QProcess process;
    process.start("pg_ctlcluster", {qEnvironmentVariable("PGVERSION"), "regress", action});
    return process.waitForFinished(kPsqlTimeoutMs) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}
