// SPDX-License-Identifier: MIT
#include "pgcluster.h"

#include <QFile>
#include <QProcess>

namespace {

constexpr int kPsqlTimeoutMs = 60000;

QString password(const QString &user)
{
    return QStringLiteral("pw-") + user;
}

} // namespace

bool PgCluster::setUp(const QStringList &stations, QString *error)
{
    m_port = qEnvironmentVariable("PGPORT");
    m_superPassword = qEnvironmentVariable("PGPASSWORD");
    if (m_port.isEmpty() || m_superPassword.isEmpty() || !m_dir.isValid()) {
        *error = QStringLiteral("not started by with-postgres.sh");
        return false;
    }
    if (psql(QStringLiteral("CREATE DATABASE %1").arg(QLatin1String(kDatabase)), error,
            QStringLiteral("-"))
            .isNull())
        return false;
    QProcess load;
    load.start(QStringLiteral("psql"),
        {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-d"),
            QLatin1String(kDatabase), QStringLiteral("-q"), QStringLiteral("-v"),
            QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-f"), QStringLiteral(SERVER_SQL)});
    if (!load.waitForFinished(kPsqlTimeoutMs) || load.exitCode() != 0) {
        *error = QString::fromLocal8Bit(load.readAllStandardError());
        return false;
    }
    QFile passFile(m_dir.filePath(QStringLiteral("pgpass")));
    if (!passFile.open(QIODevice::WriteOnly))
        return false;
    for (const QString &station : stations) {
        if (psql(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2' IN ROLE burnin_station")
                     .arg(station, password(station)),
                error)
                .isNull())
            return false;
        passFile.write(QStringLiteral("127.0.0.1:%1:%2:%3:%4\n")
                           .arg(m_port, QLatin1String(kDatabase), station, password(station))
                           .toUtf8());
    }
    passFile.close();
    passFile.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    qputenv("PGPASSFILE", passFile.fileName().toLocal8Bit());
    qunsetenv("PGPASSWORD");
    return true;
}

QString PgCluster::serverText(const QString &station) const
{
    return QStringLiteral("host=127.0.0.1 port=%1 dbname=%2 user=%3")
        .arg(m_port, QLatin1String(kDatabase), station);
}

QString PgCluster::psql(const QString &sql, QString *error, const QString &user) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const bool super = user.isEmpty() || user == QLatin1String("-");
    env.insert(QStringLiteral("PGPASSWORD"), super ? m_superPassword : password(user));
    if (!super)
        env.insert(QStringLiteral("PGUSER"), user);
    process.setProcessEnvironment(env);
    // "-" is the superuser in the database every cluster has, before the results one exists.
    process.start(QStringLiteral("psql"),
        {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-d"),
            user == QLatin1String("-") ? QStringLiteral("postgres") : QLatin1String(kDatabase),
            QStringLiteral("-At"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
            QStringLiteral("-c"), sql});
    const bool done = process.waitForFinished(kPsqlTimeoutMs) && process.exitCode() == 0;
    if (!done) {
        if (error)
            *error = QString::fromLocal8Bit(process.readAllStandardError());
        return QString();
    }
    QString out = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return out.isNull() ? QStringLiteral("") : out;
}

bool PgCluster::stop() const
{
    return control(QStringLiteral("stop"));
}

bool PgCluster::start() const
{
    return control(QStringLiteral("start"));
}

bool PgCluster::control(const QString &action) const
{
    QProcess process;
    process.start(QStringLiteral("pg_ctlcluster"),
        {qEnvironmentVariable("PGVERSION"), QStringLiteral("regress"), action});
    return process.waitForFinished(kPsqlTimeoutMs) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}
