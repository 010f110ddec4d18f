// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the burn-in CSV writer and reader must agree on, kept in one place so that neither can
// drift from the other. Internal to the store.
namespace BurnInCsvFormat {

enum Column {
    Index,
    Started,
    Mode,
    CardNumber,
    Result,
    FailedStep,
    FailedCode,
    Elapsed,
    FirstStep,
    Duplicate = FirstStep + kBurnInStepCount,
    ColumnCount
};

// RFC 4180's line end; the reader takes a bare LF too, in case a tool saved the file again.
inline constexpr char kLineEnd[] = "\r\n";
inline constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
inline const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");
inline const QString kPassed = QStringLiteral("通过");
inline const QString kFailed = QStringLiteral("失败");
inline const QString kDuplicate = QStringLiteral("是");

QStringList columns();

// Milliseconds as seconds with three decimals, and back. Any number of decimals is read, since
// a spreadsheet that saves the file again may drop trailing zeros.
QString secondsText(qint64 ms);
std::optional<qint64> parseSeconds(const QString &text);

// Card numbers come from the device library and may be anything. One that a spreadsheet would
// take for a formula (= + - @ tab CR) gets a leading quote; so does one that already starts with
// a quote, which makes the rule reversible: the reader drops exactly one leading quote.
QString protectCardNumber(const QString &number);
QString unprotectCardNumber(const QString &field);

std::optional<BurnInStep> stepFromName(const QString &name);
std::optional<BurnInMode> modeFromName(const QString &name);
// NoReply or DriverCrash from its name; none for a code or anything else.
std::optional<BurnInOutcome> outcomeFromName(const QString &name);

} // namespace BurnInCsvFormat
