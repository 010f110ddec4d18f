// SPDX-License-Identifier: MIT
#include "config/rwini.h"

#include "config/initext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <optional>

namespace {

// The file's bytes; empty when it does not exist, nothing when it exists but cannot be read (a
// folder cannot be opened).
std::optional<QByteArray> readBytes(const QString &file)
{
    QFile in(file);
    if (!in.exists())
        return QByteArray();
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

template<typename Value>
bool store(const QString &file, const QString &group, const QString &key, const Value &value)
{
    // As QSettings writes an INI file, so that a QSettings elsewhere that shares the file keeps
    // out of the way: a file that may not be written stays as it is even where it could be
    // replaced, a missing folder is made, the same lock file is held, and the file is replaced
    // whole or not at all.
    const QFileInfo info(file);
    if (info.exists()) {
        QFile existing(file);
        if (!existing.open(QIODevice::ReadWrite))
            return false;
    } else {
        QDir().mkpath(info.absolutePath());
    }
    QLockFile lock(file + QLatin1String(".lock"));
    if (!lock.lock())
        return false;
    const std::optional<QByteArray> bytes = readBytes(file);
    if (!bytes)
        return false;
    IniText text(*bytes);
    if (!text.setValue(IniText::fullKey(group, key), value))
        return false;
    QSaveFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write(text.bytes()) == text.bytes().size()
        && out.commit();
}

std::optional<QString> fetch(const QString &file, const QString &group, const QString &key)
{
    const std::optional<QByteArray> bytes = readBytes(file);
    if (!bytes)
        return std::nullopt;
    return IniText(*bytes).text(IniText::fullKey(group, key));
}

} // namespace

// cppcheck-suppress passedByValue ; QString is implicitly shared and the signature is fixed
bool RWIni::save(QString file, QString group, QString key, QString value)
{
    return store(file, group, key, value);
}

// cppcheck-suppress passedByValue ; QString is implicitly shared and the signature is fixed
bool RWIni::save(QString file, QString group, QString key, int value)
{
    return store(file, group, key, value);
}

// cppcheck-suppress passedByValue ; QString is implicitly shared and the signature is fixed
int RWIni::load(QString file, QString group, QString key, int def)
{
    // QString::toInt rather than a looser conversion: a number beyond the int range reads as 0,
    // not truncated.
    const std::optional<QString> text = fetch(file, group, key);
    return text ? text->toInt() : def;
}

// cppcheck-suppress passedByValue ; QString is implicitly shared and the signature is fixed
QString RWIni::load(QString file, QString group, QString key, QString def)
{
    return fetch(file, group, key).value_or(def);
}
