// SPDX-License-Identifier: MIT
#include "engine/store/burnincsvformat.h"

#include <algorithm>
#include <cmath>

namespace BurnInCsvFormat {

namespace {

constexpr QChar kProtectionMark = u'\'';
// Anything longer is not a card's time but a damaged or hostile field; it also keeps the
// conversion to milliseconds far from qint64's limits.
constexpr double kMaxSeconds = 1e9;

} // namespace

QStringList columns()
{
    QStringList names = {QStringLiteral("序号"), QStringLiteral("开始时间"), QStringLiteral("模式"),
        QStringLiteral("卡号"), QStringLiteral("结果"), QStringLiteral("失败步骤"),
        QStringLiteral("错误码"), QStringLiteral("用时(秒)")};
    for (int step = 0; step < kBurnInStepCount; ++step)
        names << burnInStepName(static_cast<BurnInStep>(step)) + QStringLiteral("(秒)");
    names << QStringLiteral("重复卡号");
    return names;
}

QString secondsText(qint64 ms)
{
    return QString::number(static_cast<double>(ms) / 1000.0, 'f', 3);
}

std::optional<qint64> parseSeconds(const QString &text)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > kMaxSeconds)
        return std::nullopt;
    return std::llround(seconds * 1000.0);
}

QString protectCardNumber(const QString &number)
{
    static const QString risky = QStringLiteral("=+-@\t\r") + kProtectionMark;
    if (!number.isEmpty() && risky.contains(number.front()))
        return kProtectionMark + number;
    return number;
}

QString unprotectCardNumber(const QString &field)
{
    return field.startsWith(kProtectionMark) ? field.mid(1) : field;
}

std::optional<BurnInStep> stepFromName(const QString &name)
{
    for (int step = 0; step < kBurnInStepCount; ++step) {
        if (burnInStepName(static_cast<BurnInStep>(step)) == name)
            return static_cast<BurnInStep>(step);
    }
    return std::nullopt;
}

std::optional<BurnInMode> modeFromName(const QString &name)
{
    const auto modes = {BurnInMode::Capture, BurnInMode::HandOut};
    const auto found = std::find_if(modes.begin(), modes.end(),
        [&name](BurnInMode mode) { return burnInModeName(mode) == name; });
    return found == modes.end() ? std::nullopt : std::optional<BurnInMode>(*found);
}

std::optional<BurnInOutcome> outcomeFromName(const QString &name)
{
    const auto outcomes = {BurnInOutcome::NoReply, BurnInOutcome::DriverCrash};
    const auto found = std::find_if(outcomes.begin(), outcomes.end(),
        [&name](BurnInOutcome outcome) { return burnInOutcomeName(outcome) == name; });
    return found == outcomes.end() ? std::nullopt : std::optional<BurnInOutcome>(*found);
}

} // namespace BurnInCsvFormat
