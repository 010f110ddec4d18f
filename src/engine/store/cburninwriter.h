// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"

#include <QFile>
#include <QString>
#include <QVector>

class QDateTime;

// The record on disk of one burn-in run: a CSV with one row per card, for spreadsheets and the
// run history, and a .log with every step line, for finding out why a card failed. Every row and
// line goes to the system as it is written, so that a crash of the tool keeps each finished card;
// the system may still hold the last ones in memory when the power goes. A row or line that a
// full disk takes only in part is cut back off: both files always end with a whole line.
// The CSV is UTF-8 with a byte order mark, so that spreadsheets show the Chinese titles, and has
// CRLF line ends. Used by the run's thread only, one run at a time, so it takes no lock.
class CBurnInWriter
{
public:
    // Creates folder if needed and in it burnin-<yyyyMMdd-HHmmss>.csv and .log, or
    // burnin-<unit>-<yyyyMMdd-HHmmss> for a unit's run (unit already safe in a file name, see
    // BurnInInput::fileNamePart), with "-2", "-3"… after the name when a run of the same second
    // left files there. On failure returns false and sets *error to a reason for the operator
    // that names the folder.
    bool open(const QString &folder, const QDateTime &start, BurnInMode mode, const QString &unit,
        QString *error);
    // Opens the files of a run that goes on, to append to them. The CSV is first brought in line
    // with the cards recorded elsewhere: a half-written last row is cut, and the recorded cards
    // after its last complete row are written. A CSV that is gone is written anew; one that is
    // not a burn-in CSV is refused, with *error naming it.
    bool reopen(const QString &csvPath, const QString &logPath, BurnInMode mode,
        const QVector<BurnInRecord> &recorded, QString *error);
    void writeRecord(const BurnInRecord &record);
    // Prefixes the line with the local time to the millisecond.
    void writeLine(const QString &line);
    // The first row or line that could not be written (a full disk, say), naming the file and
    // the system's reason ("No space left on device"); empty while every one was.
    QString error() const;
    // Absolute; empty before open().
    QString csvPath() const;
    QString logPath() const;
    void close();

private:
    bool createFiles(const QString &baseName, QString *reason);
    QByteArray row(const BurnInRecord &record) const;
    void write(QFile &file, const QByteArray &bytes);

    QFile m_csv;
    QFile m_log;
    BurnInMode m_mode = BurnInMode::Capture;
    QString m_error;
};
