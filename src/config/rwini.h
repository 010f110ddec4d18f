// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Reads and writes one key of one group of an INI file in QSettings' IniFormat. Every call reads
// the file afresh, so nothing is cached between calls, and a save rewrites only the value it sets:
// keys, comments and sections written by hand or by another version survive. Values are never
// decoded into anything but text, whatever the file holds. Never instantiated; GUI thread only.
class RWIni
{
public:
    RWIni() = delete;

    // Both return false when the file could not be written; the value is then not stored.
    static bool save(QString file, QString group, QString key, QString value);
    static bool save(QString file, QString group, QString key, int value);

    // A missing key (or an unreadable file) gives def; a present value that is not a whole
    // decimal number, an empty one included, gives 0.
    static int load(QString file, QString group, QString key, int def);
    // A missing key (or file) gives def; an integer written by save reads as its digits.
    static QString load(QString file, QString group, QString key, QString def);
};
