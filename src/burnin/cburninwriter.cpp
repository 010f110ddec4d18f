// SPDX-License-Identifier: MIT
#include "burnin/cburninwriter.h"

#include "burnin/burnincsvformat.h"
#include "burnin/cburninreader.h"

#include <QDateTime>
#include <QDir>
#include <QStringList>

#include <algorithm>

namespace {

// Far more runs than can start within one second; it only bounds the search for a free name.
constexpr int kMaxRunsPerSecond = 1000;
constexpr QIODevice::OpenMode kNewFile = QIODevice::WriteOnly | QIODevice::NewOnly;

QString csvField(const QString &text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return special.contains(c); }))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QByteArray csvLine(const QStringList &fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString &field : fields)
        quoted << csvField(field);
    return quoted.join(u',').toUtf8() + BurnInCsvFormat::kLineEnd;
}

bool writeNow(QFile &file, const QByteArray &bytes)
{
    return file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

bool CBurnInWriter::open(const QString &folder, const QDateTime &start, BurnInMode mode,
    const QString &unit, QString *error)
{
    close();
    m_mode = mode;
    const QString absolute = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QDir().mkpath(absolute)) {
        *error = QStringLiteral("无法创建结果文件夹 %1").arg(QDir::toNativeSeparators(absolute));
        return false;
    }
    const QString base = QDir(absolute).filePath(QStringLiteral("burnin-")
        + (unit.isEmpty() ? QString() : unit + QLatin1Char('-'))
        + start.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    for (int run = 1; run <= kMaxRunsPerSecond; ++run) {
        const QString name = run == 1 ? base : QStringLiteral("%1-%2").arg(base).arg(run);
        if (QFile::exists(name + QStringLiteral(".csv"))
            || QFile::exists(name + QStringLiteral(".log")))
            continue;
        QString reason;
        if (createFiles(name, &reason))
            return true;
        *error = QStringLiteral("无法写入结果文件夹 %1：%2")
                     .arg(QDir::toNativeSeparators(absolute), reason);
        return false;
    }
    *error = QStringLiteral("结果文件夹 %1 中同一秒开始的记录过多")
                 .arg(QDir::toNativeSeparators(absolute));
    return false;
}

bool CBurnInWriter::reopen(const QString &csvPath, const QString &logPath, BurnInMode mode,
    const QVector<BurnInRecord> &recorded, QString *error)
{
    close();
    m_mode = mode;
    m_csv.setFileName(csvPath);
    m_log.setFileName(logPath);
    int lastIndex = 0;
    if (m_csv.exists()) {
        const BurnInCsv csv = readBurnInCsv(csvPath);
        if (!csv.error.isEmpty()) {
            *error = csv.error;
            return false;
        }
        if (!csv.records.isEmpty())
            lastIndex = csv.records.last().index;
        if (csv.cutShort && !m_csv.resize(csv.completeBytes)) {
            *error = QStringLiteral("无法写入 %1：%2")
                         .arg(QDir::toNativeSeparators(csvPath), m_csv.errorString());
            return false;
        }
    }
    const bool fresh = !m_csv.exists();
    const QByteArray header = BurnInCsvFormat::kByteOrderMark + csvLine(BurnInCsvFormat::columns());
    if (!m_csv.open(QIODevice::WriteOnly | QIODevice::Append)
        || !m_log.open(QIODevice::WriteOnly | QIODevice::Append)
        || (fresh && !writeNow(m_csv, header))) {
        const QFile &failed = m_csv.error() != QFileDevice::NoError ? m_csv : m_log;
        *error = QStringLiteral("无法写入 %1：%2")
                     .arg(QDir::toNativeSeparators(failed.fileName()), failed.errorString());
        close();
        return false;
    }
    for (const BurnInRecord &record : recorded) {
        if (record.index > lastIndex)
            writeRecord(record);
    }
    return m_error.isEmpty();
}

bool CBurnInWriter::createFiles(const QString &baseName, QString *reason)
{
    m_csv.setFileName(baseName + QStringLiteral(".csv"));
    m_log.setFileName(baseName + QStringLiteral(".log"));
    const QByteArray header = BurnInCsvFormat::kByteOrderMark + csvLine(BurnInCsvFormat::columns());
    if (m_csv.open(kNewFile) && m_log.open(kNewFile) && writeNow(m_csv, header))
        return true;
    *reason = m_csv.error() != QFileDevice::NoError ? m_csv.errorString() : m_log.errorString();
    // A run that cannot be recorded leaves nothing behind to be taken for one.
    for (QFile *file : {&m_csv, &m_log}) {
        if (file->isOpen())
            file->remove();
        file->setFileName(QString());
    }
    return false;
}

void CBurnInWriter::writeRecord(const BurnInRecord &record)
{
    write(m_csv, row(record));
}

// Only the first failure is kept: it is the one that tells where the record stops.
void CBurnInWriter::write(QFile &file, const QByteArray &bytes)
{
    if (!writeNow(file, bytes) && m_error.isEmpty())
        m_error = QStringLiteral("无法写入 %1：%2").arg(file.fileName(), file.errorString());
}

QString CBurnInWriter::error() const
{
    return m_error;
}

QByteArray CBurnInWriter::row(const BurnInRecord &record) const
{
    using namespace BurnInCsvFormat;
    QStringList fields;
    fields.reserve(ColumnCount);
    fields << QString::number(record.index) << record.started.toLocalTime().toString(kTimeFormat)
           << burnInModeName(m_mode) << protectCardNumber(record.cardNumber)
           << (record.passed ? kPassed : kFailed)
           << (record.failedStep ? burnInStepName(*record.failedStep) : QString())
           << (record.passed ? QString() : QString::number(record.failedCode))
           << secondsText(record.elapsedMs);
    for (qint64 ms : record.stepMs)
        fields << (ms < 0 ? QString() : secondsText(ms));
    fields << (record.duplicate ? kDuplicate : QString());
    return csvLine(fields);
}

void CBurnInWriter::writeLine(const QString &line)
{
    // A card number inside a step line must not start a line of its own.
    QString flat = line;
    flat.replace(u'\r', u' ').replace(u'\n', u' ');
    const QString stamp
        = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz "));
    write(m_log, (stamp + flat + u'\n').toUtf8());
}

QString CBurnInWriter::csvPath() const
{
    return m_csv.fileName();
}

QString CBurnInWriter::logPath() const
{
    return m_log.fileName();
}

void CBurnInWriter::close()
{
    m_csv.close();
    m_log.close();
}
