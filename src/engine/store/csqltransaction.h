// SPDX-License-Identifier: MIT
#pragma once

#include <QSqlError>

class QSqlDatabase;

// One write transaction of the results database, rolled back unless committed, so that every way
// out of a failed write leaves the file as it was. It starts IMMEDIATE, taking the write lock at
// once: a deferred one that read first could find another connection's commit in between and
// fail without waiting. Lives on the thread of its connection. Internal to the store and the
// upload.
class CSqlTransaction
{
public:
    explicit CSqlTransaction(QSqlDatabase &db);
    ~CSqlTransaction();
    CSqlTransaction(const CSqlTransaction &) = delete;
    CSqlTransaction &operator=(const CSqlTransaction &) = delete;

    // False when BEGIN failed; error() then says why.
    bool isOpen() const { return m_open; }
    bool commit();
    QSqlError error() const { return m_error; }

private:
    QSqlDatabase &m_db; // not owned
    bool m_open = false;
    QSqlError m_error;
};
