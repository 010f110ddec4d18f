// SPDX-License-Identifier: MIT
// Fuzzes the settings store over any "config.ini" an operator, another program or a broken disk
// could leave behind: the loads the tool makes at start-up and a save, which must neither crash
// nor decode anything, and which must agree with QSettings wherever QSettings itself is safe.
#include "config/initext.h"
#include "config/rwini.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

const QString kGroup = QStringLiteral("com");

// Qt's warnings about values it cannot read would only slow the run down.
void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) { }

void check(bool condition)
{
    if (!condition)
        std::abort();
}

QString filePath(const QString &name)
{
    static const QtMessageHandler previous = qInstallMessageHandler(dropMessage);
    (void)previous;
    static const QTemporaryDir folder;
    check(folder.isValid());
    return folder.filePath(name);
}

// QSettings keeps a file it has read and reads it again only when its size or time stamp has
// changed, which two inputs written within a millisecond need not do: every file written here
// gets a time stamp of its own. (A new name for every input would do as well, but QSettings
// keeps a little for every name, and that growth makes every input a suspected leak.)
void writeFile(const QString &path, QByteArrayView bytes)
{
    static qint64 stamp = 0;
    QFile out(path);
    check(out.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && out.write(bytes.data(), bytes.size()) == bytes.size() && out.flush()
        && out.setFileTime(
            QDateTime::fromMSecsSinceEpoch(++stamp), QFileDevice::FileModificationTime));
}

// Every key that QSettings can look up, with its text, as QSettings reads the file once it has
// read all of it.
void checkAgainstQSettings(const IniText &text)
{
    const QString path = filePath(QStringLiteral("reference.ini"));
    writeFile(path, text.bytes());
    QSettings settings(path, QSettings::IniFormat);
    QStringList keys = settings.allKeys();
    keys.sort();
    check(keys == text.keys());
    for (const QString &key : std::as_const(keys)) {
        if (!key.isEmpty() && IniText::fullKey(QString(), key) == key)
            check(settings.value(key).toString() == text.text(key));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    const QString path = filePath(QStringLiteral("config.ini"));
    writeFile(path, bytes);

    // The loads of the settings dialog, with its defaults.
    RWIni::load(path, kGroup, QStringLiteral("port"), 0);
    RWIni::load(path, kGroup, QStringLiteral("bp"), QString());
    RWIni::load(path, kGroup, QStringLiteral("baud"), 9600);

    // QSettings is the reference only for files it reads without streaming a value.
    const IniText before(bytes.toByteArray());
    const bool safeForQSettings = !before.hasStreamedValues();
    if (safeForQSettings)
        checkAgainstQSettings(before);

    if (RWIni::save(path, kGroup, QStringLiteral("bp"), QStringLiteral("K"))) {
        QFile in(path);
        check(in.open(QIODevice::ReadOnly));
        const IniText after(in.readAll());
        check(after.text(QStringLiteral("com/bp")) == QStringLiteral("K"));
        if (safeForQSettings)
            checkAgainstQSettings(after);
    }
    return 0;
}
