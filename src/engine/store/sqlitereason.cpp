// SPDX-License-Identifier: MIT
#include "engine/store/sqlitereason.h"

#include <QSqlError>

#include <cerrno>

namespace {

constexpr int kSqliteFull = 13;
constexpr int kSqlitePrimaryCodeMask = 0xff;

} // namespace

QString sqliteReason(const QSqlError &error)
{
    // SQLite gives a write that found no room as SQLITE_FULL itself (and a short write too); the
    // errno behind a SQLITE_IOERR is not among what Qt passes on.
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & kSqlitePrimaryCodeMask;
    return numeric && code == kSqliteFull ? qt_error_string(ENOSPC) : error.text();
}
