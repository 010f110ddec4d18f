// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// An INI file as it stands on disk, parsed by hand rather than through QSettings, so that a test
// sees what an operator or another program would find there and not what QSettings remembers.
class IniFileText
{
public:
    explicit IniFileText(const QString &path);

    bool exists() const { return m_exists; }
    QByteArray bytes() const { return m_bytes; }
    // Section names in file order; a section written twice is listed twice.
    QStringList sections() const { return m_sections; }
    // Keys of a section in file order.
    QStringList keys(const QString &section) const;
    // The value as written after the equals sign; a null string when the key is absent.
    QString value(const QString &section, const QString &key) const;

private:
    bool m_exists = false;
    QByteArray m_bytes;
    QStringList m_sections;
    QHash<QString, QList<QPair<QString, QString>>> m_entries;
};

// Replaces the file's contents; false when the file could not be written.
bool writeFileBytes(const QString &path, const QByteArray &bytes);
