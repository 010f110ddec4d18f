// SPDX-License-Identifier: MIT
#include "engine/settings/comsettings.h"

#include "engine/settings/rwini.h"

#include <QStringList>

#include <algorithm>

namespace {

const char kGroup[] = "com";
const char kPortKey[] = "port";
const char kBpKey[] = "bp";
const char kBaudKey[] = "baud";

const char kNoBpText[] = "none";

// The file may hold a letter in either case, as hand-edited files do; anything else is no BP port.
char storedBp(const QString &stored)
{
    for (char letter : ComSettings::kBpLetters) {
        const QChar upper = QLatin1Char(letter);
        if (stored == QString(upper) || stored == QString(upper.toLower()))
            return letter;
    }
    return ComSettings::kNoBp;
}

bool isOfferedBaud(int baud)
{
    const auto &bauds = ComSettings::kBauds;
    return std::find(bauds.begin(), bauds.end(), baud) != bauds.end();
}

// Digits only: QString::toInt alone would also take a sign and surrounding blanks.
std::optional<int> wholeNumber(const QString &text)
{
    const bool digitsOnly = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!digitsOnly || !ok)
        return std::nullopt;
    return value;
}

// The rejected text as the reason shows it, so that an empty one is still seen.
QString shown(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("\"\"") : text;
}

template<typename T> std::optional<T> refuse(QString *reason, const QString &why)
{
    if (reason)
        *reason = why;
    return std::nullopt;
}

} // namespace

ComSettings loadComSettings(const QString &iniPath)
{
    ComSettings settings;
    // In the dialog's order, so that a file too large to read is warned about in the same order.
    settings.port = RWIni::load(iniPath, kGroup, kPortKey, ComSettings::kDefaultPort);
    settings.bp = storedBp(RWIni::load(iniPath, kGroup, kBpKey, QString()));
    const int baud = RWIni::load(iniPath, kGroup, kBaudKey, ComSettings::kDefaultBaud);
    settings.baud = isOfferedBaud(baud) ? baud : ComSettings::kBauds.front();
    return settings;
}

bool saveComSettings(const QString &iniPath, const ComSettings &settings)
{
    const bool portStored = RWIni::save(iniPath, kGroup, kPortKey, settings.port);
    const bool bpStored = settings.bp != ComSettings::kNoBp
        ? RWIni::save(iniPath, kGroup, kBpKey, QString(QLatin1Char(settings.bp)))
        : RWIni::save(iniPath, kGroup, kBpKey, 0);
    const bool baudStored = RWIni::save(iniPath, kGroup, kBaudKey, settings.baud);
    return portStored && bpStored && baudStored;
}

std::optional<int> parsePort(const QString &text, QString *reason)
{
    const std::optional<int> port = wholeNumber(text);
    if (port && *port >= ComSettings::kMinPort && *port <= ComSettings::kMaxPort)
        return port;
    return refuse<int>(reason,
        // One arg() for all, so that a "%2" in the text is not taken for a place of its own.
        QStringLiteral("%1 不是可选的端口（%2 到 %3）")
            .arg(shown(text), QString::number(ComSettings::kMinPort),
                QString::number(ComSettings::kMaxPort)));
}

std::optional<int> parseBaud(const QString &text, QString *reason)
{
    const std::optional<int> baud = wholeNumber(text);
    if (baud && isOfferedBaud(*baud))
        return baud;
    QStringList offered;
    for (int rate : ComSettings::kBauds)
        offered << QString::number(rate);
    return refuse<int>(reason,
        QStringLiteral("%1 不是可选的波特率（%2）")
            .arg(shown(text), offered.join(QStringLiteral("、"))));
}

std::optional<char> parseBp(const QString &text, QString *reason)
{
    if (text.compare(QLatin1String(kNoBpText), Qt::CaseInsensitive) == 0)
        return ComSettings::kNoBp;
    const char letter = storedBp(text);
    if (letter != ComSettings::kNoBp)
        return letter;
    QStringList offered = {QLatin1String(kNoBpText)};
    for (char bp : ComSettings::kBpLetters)
        offered << QString(QLatin1Char(bp));
    return refuse<char>(reason,
        QStringLiteral("%1 不是可选的 BP 口（%2）")
            .arg(shown(text), offered.join(QStringLiteral("、"))));
}

QString connectionText(const ComSettings &settings)
{
    // Wider than int: a port read from the file may be as low as the type allows.
    QString text = settings.port == 0 ? QStringLiteral("HID")
                                      : QStringLiteral("ttyS%1").arg(qint64(settings.port) - 1);
    text += QStringLiteral("，%1").arg(settings.baud);
    if (settings.bp != ComSettings::kNoBp)
        text += QStringLiteral("，BP：") + QLatin1Char(settings.bp);
    return text;
}

QString connectionText(const DeviceArguments::Connection &connection)
{
    return connectionText(ComSettings {connection.port, connection.bp, connection.baud});
}

DeviceArguments::Connection deviceConnection(const ComSettings &settings)
{
    return {settings.port, settings.baud, settings.bp};
}
