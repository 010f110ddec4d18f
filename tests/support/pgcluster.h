// SPDX-License-Identifier: MIT
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The throw-away PostgreSQL cluster that tests/support/with-postgres.sh started around this test
// process, made into a results server: a database with sql/server.sql loaded and a login role
// per station, whose passwords are in a password file that PGPASSFILE names, as a station's
// would be. The superuser's password moves out of the environment, so that the tool under test
// can only log in as a station.
class PgCluster
{
public:
    static constexpr char kDatabase[] = "burnin";

    // False with *error when this process was not started beside a cluster, or psql failed.
    bool setUp(const QStringList &stations, QString *error);

    // [results] server for a station: host, port, database and user, no password.
    QString serverText(const QString &station) const;
    // Runs sql as the superuser (or as user, with that user's password) in the results
    // database; psql's unaligned output, or an empty string with *error set on failure.
    QString psql(const QString &sql, QString *error = nullptr, const QString &user = {}) const;
    // Runs sql/server.sql again, as the administrator does after an upgrade.
    bool loadSchema(QString *error) const;
    bool stop() const;
    bool start() const;

private:
    bool control(const QString &action) const;

    QTemporaryDir m_dir;
    QString m_superPassword;
    QString m_port;
};
