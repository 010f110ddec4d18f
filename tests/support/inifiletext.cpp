// SPDX-License-Identifier: MIT
#include "inifiletext.h"

#include <QFile>

IniFileText::IniFileText(const QString &path)
{
    QFile file(path);
    m_exists = file.exists();
    if (!file.open(QIODevice::ReadOnly))
        return;
    m_bytes = file.readAll();

    QString section;
    const QStringList lines = QString::fromUtf8(m_bytes).split(QLatin1Char('\n'));
    for (const QString &rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2);
            m_sections << section;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        m_entries[section].append({line.left(equals).trimmed(), line.mid(equals + 1).trimmed()});
    }
}

QStringList IniFileText::keys(const QString &section) const
{
    QStringList keys;
    for (const auto &entry : m_entries.value(section))
        keys << entry.first;
    return keys;
}

QString IniFileText::value(const QString &section, const QString &key) const
{
    for (const auto &entry : m_entries.value(section)) {
        if (entry.first == key)
            return entry.second;
    }
    return QString();
}

bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size() && file.flush();
}
