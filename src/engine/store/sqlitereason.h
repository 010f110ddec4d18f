// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QSqlError;

// Why a statement on the station's SQLite database failed, for the operator: Qt's text of the
// error, except that a database that could not grow (SQLITE_FULL, "database or disk is full")
// is named as the system names a full disk, "No space left on device", as the run's CSV and log
// do. Internal to the store and the upload.
QString sqliteReason(const QSqlError &error);
