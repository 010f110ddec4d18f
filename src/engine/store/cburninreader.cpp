// SPDX-License-Identifier: MIT
#include "engine/store/cburninreader.h"

#include "engine/store/burnincsvformat.h"

#include <QDir>
#include <QFile>
#include <QStringList>

using namespace BurnInCsvFormat;

namespace {

struct CsvRow
{
    QStringList fields; // at most ColumnCount + 1: enough to tell a row that has too many
    int fieldCount = 0;
    bool ended = false; // by a line end, outside quotes
};

// Reads the row that starts at pos and moves pos past it; false at the end of the text.
// Quoted fields may hold commas, quotes (doubled) and line ends. A stray quote inside a field
// starts quoting there too: such a row will not parse, but the reading still moves on.
bool nextRow(const QString &text, qsizetype &pos, CsvRow &row)
{
    if (pos >= text.size())
        return false;
    row = CsvRow();
    QString field;
    bool quoted = false;
    const auto endField = [&] {
        if (row.fields.size() <= ColumnCount)
            row.fields << field;
        ++row.fieldCount;
        field.clear();
    };
    while (pos < text.size()) {
        const QChar c = text.at(pos++);
        if (quoted) {
            if (c != u'"')
                field += c;
            else if (pos < text.size() && text.at(pos) == u'"')
                field += text.at(pos++);
            else
                quoted = false;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            endField();
        } else if (c == u'\n') {
            row.ended = true;
            break;
        } else if (c != u'\r' || pos >= text.size() || text.at(pos) != u'\n') {
            field += c;
        }
    }
    endField();
    return true;
}

// The writer's time format read by hand: QDateTime::fromString spends ten times as long, which
// is most of the time to read a long run.
QDateTime parseTime(const QString &text)
{
    static const QString shape = QStringLiteral("0000-00-00 00:00:00.000");
    if (text.size() != shape.size())
        return {};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool digitWanted = shape.at(i) == QLatin1Char('0');
        if (digitWanted ? !text.at(i).isDigit() || text.at(i).unicode() > '9'
                        : text.at(i) != shape.at(i))
            return {};
    }
    const auto number = [&text](qsizetype from, qsizetype length) {
        return QStringView(text).mid(from, length).toInt();
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2), number(20, 3));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

std::optional<BurnInRecord> parseRecord(const QStringList &fields, BurnInMode *mode)
{
    BurnInRecord record;
    bool ok = false;
    record.index = fields[Index].toInt(&ok);
    if (!ok || record.index < 1)
        return std::nullopt;
    if (!fields[Started].isEmpty()) {
        record.started = parseTime(fields[Started]);
        if (!record.started.isValid())
            return std::nullopt;
    }
    const std::optional<BurnInMode> rowMode = modeFromName(fields[Mode]);
    if (!rowMode)
        return std::nullopt;
    *mode = *rowMode;
    record.cardNumber = unprotectCardNumber(fields[CardNumber]);
    record.passed = fields[Result] == kPassed;
    if (!record.passed && fields[Result] != kFailed)
        return std::nullopt;
    if (!fields[FailedStep].isEmpty()) {
        record.failedStep = stepFromName(fields[FailedStep]);
        if (!record.failedStep)
            return std::nullopt;
    }
    // The code column holds the device's code, or the name of a driver's outcome, which has none.
    if (const std::optional<BurnInOutcome> outcome = outcomeFromName(fields[FailedCode])) {
        record.outcome = *outcome;
    } else if (!fields[FailedCode].isEmpty()) {
        record.failedCode = fields[FailedCode].toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    const std::optional<qint64> elapsed = parseSeconds(fields[Elapsed]);
    if (!elapsed)
        return std::nullopt;
    record.elapsedMs = *elapsed;
    for (int step = 0; step < kBurnInStepCount; ++step) {
        const QString &text = fields[FirstStep + step];
        const std::optional<qint64> ms
            = text.isEmpty() ? std::optional<qint64>(-1) : parseSeconds(text);
        if (!ms)
            return std::nullopt;
        record.stepMs[static_cast<std::size_t>(step)] = *ms;
    }
    record.duplicate = fields[Duplicate] == kDuplicate;
    if (!record.duplicate && !fields[Duplicate].isEmpty())
        return std::nullopt;
    return record;
}

BurnInCsv failure(const QString &error)
{
    BurnInCsv csv;
    csv.error = error;
    return csv;
}

} // namespace

BurnInCsv parseBurnInCsv(const QByteArray &bytes)
{
    // A pointer and a size, as Qt 5 has no QByteArrayView: the text is still decoded uncopied.
    const qsizetype skip
        = bytes.startsWith(kByteOrderMark) ? qsizetype(qstrlen(kByteOrderMark)) : 0;
    if (bytes.size() == skip)
        return failure(QStringLiteral("文件是空的"));
    const QString text = QString::fromUtf8(bytes.constData() + skip, bytes.size() - skip);
    qsizetype pos = 0;
    CsvRow row;
    nextRow(text, pos, row);
    if (row.fieldCount != ColumnCount || row.fields != columns())
        return failure(QStringLiteral("不是老化测试结果文件"));

    BurnInCsv csv;
    csv.cutShort = !row.ended;
    qsizetype complete = row.ended ? pos : 0;
    while (nextRow(text, pos, row)) {
        // A blank line, as an editor may leave at the end, is no row at all.
        if (row.ended && row.fieldCount == 1 && row.fields.front().isEmpty())
            continue;
        const bool last = pos >= text.size();
        if (last && (!row.ended || row.fieldCount < ColumnCount)) {
            csv.cutShort = true;
            break;
        }
        complete = pos;
        BurnInMode mode = BurnInMode::Capture;
        const std::optional<BurnInRecord> record
            = row.fieldCount == ColumnCount ? parseRecord(row.fields, &mode) : std::nullopt;
        if (!record || (csv.mode && mode != *csv.mode)) {
            ++csv.skippedRows;
            continue;
        }
        csv.mode = mode;
        csv.records << *record;
    }
    csv.completeBytes
        = csv.cutShort ? skip + QStringView(text).left(complete).toUtf8().size() : bytes.size();
    return csv;
}

BurnInCsv readBurnInCsv(const QString &path)
{
    const QString name = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("无法打开 %1：%2").arg(name, file.errorString()));
    // Read one byte past the limit rather than trust size(), which a device or a growing file
    // does not tell truly.
    const QByteArray bytes = file.read(kMaxBurnInCsvBytes + 1);
    if (bytes.size() > kMaxBurnInCsvBytes)
        return failure(QStringLiteral("%1 超过 64 MiB，不是老化测试结果文件").arg(name));
    BurnInCsv csv = parseBurnInCsv(bytes);
    if (!csv.error.isEmpty())
        csv.error = name + QStringLiteral("：") + csv.error;
    return csv;
}
