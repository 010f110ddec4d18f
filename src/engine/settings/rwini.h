// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Reads and writes one key of one group of an INI file through QSettings. Every call opens its
// own QSettings, so a save is a complete read-modify-write of the file: keys written by hand or by
// another version survive (comments do not), and nothing is cached here between calls. A file
// larger than 64 KiB is neither read nor replaced, with a warning. Never instantiated; GUI thread
// only.
class RWIni
{
public:
    RWIni() = delete;

    // Both return false when the file could not be written, or is too large to be replaced; the
    // value is then not stored.
    static bool save(QString file, QString group, QString key, QString value);
    static bool save(QString file, QString group, QString key, int value);

    // A missing key (or an unreadable or too large file) gives def; a present value that is not
    // a whole decimal number, an empty one included, gives 0.
    static int load(QString file, QString group, QString key, int def);
    // A missing key (or file, or a too large one) gives def; an integer written by save reads as
    // its digits.
    static QString load(QString file, QString group, QString key, QString def);
};
