// SPDX-License-Identifier: MIT
#pragma once

#include <QSqlDatabase>
#include <QString>

class QThread;

// Qt SQL's named connections, as the station's database and the server's use them: a name no
// other connection has, and the connection used and removed only on the thread that added it.
// Internal to the store and the upload.
QSqlDatabase addSqlConnection(const QString &driver, const QString &prefix, QString *name);
// Closes and removes the connection *name, if any, and clears the name; on owner's thread.
void removeSqlConnection(QSqlDatabase &db, QString *name, const QThread *owner);
