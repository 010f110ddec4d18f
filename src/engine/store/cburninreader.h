// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

// A burn-in CSV read back. Files are taken as untrusted: whatever they hold, reading ends with
// either the cards or an error, never a crash or a hang.
struct BurnInCsv
{
    // Every complete, well-formed row, in file order.
    QVector<BurnInRecord> records;
    // The run's mode as its rows tell it; none when the file holds no card.
    std::optional<BurnInMode> mode;
    // The last row was half written (no line end, too few fields, or a quote left open), as a
    // crash or a power cut leaves it; that row is not in records.
    bool cutShort = false;
    // Rows before the last that do not parse, or whose mode is not the run's. The writer only
    // ever appends whole rows, so such a row means the file was edited or damaged; the rows
    // around it are still good, so it is left out and counted rather than ending the read.
    int skippedRows = 0;
    // The file's bytes up to the end of its last complete row, the header's included: where a
    // run that goes on appends, once a half-written last row is cut.
    qint64 completeBytes = 0;
    // Set, with nothing else, when the file is not a burn-in CSV or cannot be read.
    QString error;
};

// Larger files are refused unread: a run of 100,000 cards takes about a quarter of this.
constexpr qint64 kMaxBurnInCsvBytes = qint64(64) * 1024 * 1024;

BurnInCsv readBurnInCsv(const QString &path);
// The same from the file's bytes; its errors do not name a file.
BurnInCsv parseBurnInCsv(const QByteArray &bytes);
