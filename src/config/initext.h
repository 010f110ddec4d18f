// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// The text of an INI file in QSettings' IniFormat, read and edited without QSettings.
//
// QSettings turns a value written as @Variant(...) or @DateTime(...) into whatever object its
// bytes describe, and sizes containers from those bytes before reading them: a few bytes of a
// hand-edited file make it reserve gigabytes or build a GUI object where none may be built. Here
// a value is only ever text. Lines, sections, quotes, escapes and keys are read as QSettings reads
// them once it has read the whole file (the later of two equal keys wins, sections in the order
// of their names), so every plain value reads the same as through QSettings.
//
// An edit changes the bytes of the one value it sets and nothing else: comments, blank lines and
// the order of sections survive, and so do values in forms this tool never reads, byte for byte.
// Only a file broken mid-line is written anew (see setValue).
// Plain data, no threads of its own.
class IniText
{
public:
    explicit IniText(QByteArray bytes = QByteArray());

    QByteArray bytes() const { return m_bytes; }

    // Every key in full ("group/key"), sorted, each once.
    QStringList keys() const;
    // The value as QSettings' value(key).toString() gives it, or nothing when the key is absent.
    // A value QSettings would stream is not decoded and reads as empty text.
    std::optional<QString> text(const QString &key) const;
    // Whether QSettings would build this value, or one element of it, by streaming.
    bool isStreamed(const QString &key) const;
    // Whether QSettings would stream any value while reading the file, one that a later line
    // overrides included.
    bool hasStreamedValues() const { return m_hasStreamedValues; }

    // Sets a value as QSettings writes a string or an integer. Where the file is so broken that
    // the value's own line would not read back (a quote left open before it, say), the whole
    // text is written anew from what it holds, as QSettings always did. False, with the text
    // unchanged, when even that would not read back with every other value as it was.
    bool setValue(const QString &key, const QString &value);
    bool setValue(const QString &key, int value);

    // The full key that QSettings' beginGroup(group) and value(key) look up.
    static QString fullKey(const QString &group, const QString &key);

private:
    struct Entry
    {
        // The value with its quotes and escapes resolved: one string, or a list of them.
        QString raw;
        QStringList list;
        bool isList = false;
        QString text;
        bool streamed = false;
        // Where the value stands in the bytes, from just after the equals sign.
        qsizetype valueBegin = 0;
        qsizetype valueEnd = 0;
    };
    // One run of lines after a section header, or before the first one; a name written twice in
    // the file makes two runs of the same section.
    struct Run
    {
        QString section;
        qsizetype begin = 0;
        qsizetype end = 0;
        // The end of the last line in the run, or -1 when it has none.
        qsizetype lastLineEnd = -1;
    };

    void parse();
    void readRun(Run &run);
    bool setEncoded(const QString &key, const QByteArray &encoded, const QString &expected);
    bool keepIfReadsBack(const QByteArray &edited, const QString &key, const QString &expected);
    QByteArray withNewLine(const QString &key, const QByteArray &encoded) const;
    QByteArray rewritten(const QString &key, const QByteArray &encoded) const;

    QByteArray m_bytes;
    // Where the lines start: after a UTF-8 byte order mark, if there is one.
    qsizetype m_start = 0;
    QList<Run> m_runs;
    QMap<QString, Entry> m_entries;
    bool m_hasStreamedValues = false;
};
