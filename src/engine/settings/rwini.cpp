// SPDX-License-Identifier: MIT
#include "engine/settings/rwini.h"

#include <QDebug>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

namespace {

// QSettings decodes a list nested in a list by recursion, so a file of a few hundred KB can
// overflow the stack inside value() (or inside a save, which reads every value first). The tool's
// own settings take well under a hundred bytes; a file larger than this is none it wrote, and is
// left alone rather than handed to QSettings. A file of exactly this size is still read: it nests
// at most some 8,000 lists, which a 4 MiB stack survives (Linux gives the main thread 8 MiB).
constexpr qint64 kMaxFileSize = qint64(64) * 1024;

// True when the file may go to QSettings; otherwise warns, naming the file, its size and what is
// not done with it. A missing file has size 0.
bool fitsSizeLimit(const QString &file, const char *refusal)
{
    const QFileInfo info(file);
    if (info.size() <= kMaxFileSize)
        return true;
    qWarning().noquote() << refusal << info.absoluteFilePath() + QLatin1Char(':') << info.size()
                         << "bytes, more than" << kMaxFileSize;
    return false;
}

bool store(const QString &file, const QString &group, const QString &key, const QVariant &value)
{
    if (!fitsSizeLimit(file, "not replacing"))
        return false;
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
    if (!fitsSizeLimit(file, "not reading"))
        return def;
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(group);
    return settings.value(key, def);
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
