// SPDX-License-Identifier: MIT
#include "engine/store/sqlconnection.h"

#include <QThread>

#include <atomic>

QSqlDatabase addSqlConnection(const QString &driver, const QString &prefix, QString *name)
{
    static std::atomic<int> next {0};
    *name = prefix + QString::number(++next);
    return QSqlDatabase::addDatabase(driver, *name);
}

void removeSqlConnection(QSqlDatabase &db, QString *name, const QThread *owner)
{
    if (name->isEmpty())
        return;
    // Qt's connections are not to be used, nor removed, from another thread than their own.
    Q_ASSERT(QThread::currentThread() == owner);
    Q_UNUSED(owner);
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(*name);
    name->clear();
}
