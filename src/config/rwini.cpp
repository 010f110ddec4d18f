// SPDX-License-Identifier: MIT
#include "config/rwini.h"

#include <QSettings>
#include <QVariant>

namespace {

bool store(const QString &file, const QString &group, const QString &key, const QVariant &value)
{
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(group);
    settings.setValue(key, value);
    settings.endGroup();
    // Written here rather than by the destructor, so the outcome can be seen. Only an access
    // error means the file was not written: a line that could not be parsed on the way in also
    // sets a status, yet the file is written all the same.
    settings.sync();
    return settings.status() != QSettings::AccessError;
}

QVariant fetch(const QString &file, const QString &group, const QString &key, const QVariant &def)
{
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(group);
    QVariant value = settings.value(key, def);
    settings.endGroup();
    return value;
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
    // Through the text, because QVariant's own conversion accepts what QString::toInt refuses
    // (a number beyond the int range comes back truncated instead of as 0). A missing key comes
    // back as def's digits and so as def.
    return fetch(file, group, key, def).toString().toInt();
}

// cppcheck-suppress passedByValue ; QString is implicitly shared and the signature is fixed
QString RWIni::load(QString file, QString group, QString key, QString def)
{
    return fetch(file, group, key, def).toString();
}
