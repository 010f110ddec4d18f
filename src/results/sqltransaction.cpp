// SPDX-License-Identifier: MIT
#include "results/sqltransaction.h"

#include <QSqlDatabase>
#include <QSqlQuery>

SqlTransaction::SqlTransaction(QSqlDatabase &db)
    : m_db(db)
{
    QSqlQuery begin(m_db);
    m_open = begin.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (!m_open)
        m_error = begin.lastError();
}

SqlTransaction::~SqlTransaction()
{
    // After a failed COMMIT SQLite may have rolled back already; the error of a second
    // ROLLBACK says only that, so it is not kept.
    if (m_open)
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
}

bool SqlTransaction::commit()
{
    QSqlQuery commit(m_db);
    if (!commit.exec(QStringLiteral("COMMIT"))) {
        m_error = commit.lastError();
        return false;
    }
    m_open = false;
    return true;
}
