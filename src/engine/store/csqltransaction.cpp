// SPDX-License-Identifier: MIT
#include "engine/store/csqltransaction.h"

#include <QSqlDatabase>
#include <QSqlQuery>

CSqlTransaction::CSqlTransaction(QSqlDatabase &db)
    : m_db(db)
{
    QSqlQuery begin(m_db);
    m_open = begin.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (!m_open)
        m_error = begin.lastError();
}

CSqlTransaction::~CSqlTransaction()
{
    // After a failed COMMIT SQLite may have rolled back already; the error of a second
    // ROLLBACK says only that, so it is not kept.
    if (m_open)
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
}

bool CSqlTransaction::commit()
{
    QSqlQuery commit(m_db);
    if (!commit.exec(QStringLiteral("COMMIT"))) {
        m_error = commit.lastError();
        return false;
    }
    m_open = false;
    return true;
}
