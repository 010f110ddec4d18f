// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The dispenser a run tests and the person who runs it, as typed or scanned. A barcode scanner
// types like a keyboard, so these come from the operator as any text does and are checked before
// a run uses them. Plain data.
struct BurnInUnit
{
    QString serial; // the unit's own; never remembered from one run to the next
    QString model;
    QString operatorName;
};

namespace BurnInInput {

constexpr int kMaxTextLength = 64;

// One field's text after trimming, or why it is refused; the same rules for the page and the
// command line.
struct Checked
{
    QString text; // trimmed
    QString error; // empty when the text may be used
};

// label names the field in the error, e.g. "设备序列号". The trimmed text may be empty (the
// field is not given) or 1 to kMaxTextLength characters without control characters.
Checked checkText(const QString &label, const QString &input);

// The checked unit, or the first problem with it. A run with any limit set needs a serial, since
// its verdict is about one unit; without limits every field may be empty.
struct CheckedUnit
{
    BurnInUnit unit;
    QString error;
};
CheckedUnit checkUnit(const BurnInUnit &input, bool limitsSet);

// The serial reduced to what is safe in a file name on any file system: ASCII letters, digits,
// '-', '_' and '.', others each replaced by '_', no leading dot. Empty for an empty serial.
QString fileNamePart(const QString &serial);

} // namespace BurnInInput
