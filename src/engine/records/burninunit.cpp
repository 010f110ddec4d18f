// SPDX-License-Identifier: MIT
#include "engine/records/burninunit.h"

#include <algorithm>
#include <initializer_list>

namespace BurnInInput {

namespace {

const char kSerialLabel[] = "设备序列号";
const char kModelLabel[] = "型号";
const char kOperatorLabel[] = "操作员";

bool isControl(QChar c)
{
    return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
        || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

} // namespace

Checked checkText(const QString &label, const QString &input)
{
    Checked checked;
    checked.text = input.trimmed();
    if (checked.text.size() > kMaxTextLength) {
        checked.error = QStringLiteral("%1最多 %2 个字符，输入了 %3 个")
                            .arg(label)
                            .arg(kMaxTextLength)
                            .arg(checked.text.size());
    } else if (std::any_of(checked.text.cbegin(), checked.text.cend(), isControl)) {
        checked.error = QStringLiteral("%1含有控制字符").arg(label);
    }
    return checked;
}

CheckedUnit checkUnit(const BurnInUnit &input, bool limitsSet)
{
    CheckedUnit checked;
    const Checked serial = checkText(QString::fromUtf8(kSerialLabel), input.serial);
    const Checked model = checkText(QString::fromUtf8(kModelLabel), input.model);
    const Checked person = checkText(QString::fromUtf8(kOperatorLabel), input.operatorName);
    checked.unit = {serial.text, model.text, person.text};
    if (limitsSet && serial.text.isEmpty()) {
        checked.error = QStringLiteral("设了限值的测试须输入设备序列号");
        return checked;
    }
    const std::initializer_list<const Checked *> fields = {&serial, &model, &person};
    const auto refused = std::find_if(
        fields.begin(), fields.end(), [](const Checked *field) { return !field->error.isEmpty(); });
    if (refused != fields.end())
        checked.error = (*refused)->error;
    return checked;
}

QString fileNamePart(const QString &serial)
{
    QString part;
    part.reserve(serial.size());
    for (const QChar c : serial) {
        const char16_t u = c.unicode();
        const bool safe = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')
            || u == '-' || u == '_' || u == '.';
        part += safe ? c : QLatin1Char('_');
    }
    while (part.startsWith(QLatin1Char('.')))
        part[0] = QLatin1Char('_');
    return part;
}

} // namespace BurnInInput
