// SPDX-License-Identifier: MIT
#include "engine/store/cburninwriter.h"

#include "engine/store/burnincsvformat.h"
#include "engine/store/cburninreader.h"

#include <QDateTime>
#include <QDir>
#include <QStringList>

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far more runs than can start within one second; it only bounds the search for a free name.
constexpr int kMaxRunsPerSecond = 1000;
// Unbuffered, so that a row or line goes to the system whole in appendWhole(): QFile's buffer
// would keep what a full disk did not take and write it at the next flush or at close.
constexpr QIODevice::OpenMode kNewFile
    = QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered;
constexpr QIODevice::OpenMode kGoingOn
    = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;

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

// Writes bytes at the end of file whole or not at all, and on failure sets *reason to the
// system's word for the failed write ("No space left on device"). A full disk takes what fits
// of a write and refuses the rest; that part is cut back off, so that the file still ends with
// its last whole line and no half character. Written through the descriptor, not QFile: after
// a short write QFile keeps no errno and says only "Unknown error".
bool appendWhole(QFile &file, const QByteArray &bytes, QString *reason)
{
    const int fd = file.handle();
    struct stat before = {};
    if (fstat(fd, &before) != 0) {
        *reason = qt_error_string(errno);
        return false;
    }
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            // A write that takes nothing and sets no errno has found no room.
            *reason = qt_error_string(wrote < 0 ? errno : ENOSPC);
            // Back to the old end also for a file not opened to append, so that the next write
            // leaves no hole. Nothing was written to a device such as /dev/full, which cannot
            // be cut.
            if (done > 0 && ftruncate(fd, before.st_size) == 0)
                lseek(fd, before.st_size, SEEK_SET);
            return false;
        }
        done += wrote;
    }
    return true;
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
    const bool opened = m_csv.open(kGoingOn) && m_log.open(kGoingOn);
    QString reason = opened ? QString() : (m_csv.isOpen() ? m_log : m_csv).errorString();
    if (!opened || (fresh && !appendWhole(m_csv, header, &reason))) {
        const QFile &failed = m_csv.isOpen() && !m_log.isOpen() ? m_log : m_csv;
        *error = QStringLiteral("无法写入 %1：%2")
                     .arg(QDir::toNativeSeparators(failed.fileName()), reason);
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
    const bool opened = m_csv.open(kNewFile) && m_log.open(kNewFile);
    if (opened && appendWhole(m_csv, header, reason))
        return true;
    if (!opened)
        *reason = (m_csv.isOpen() ? m_log : m_csv).errorString();
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
    QString reason;
    if (!appendWhole(file, bytes, &reason) && m_error.isEmpty())
        m_error = QStringLiteral("无法写入 %1：%2").arg(file.fileName(), reason);
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
           << (record.passed ? QString() : record.failureText()) << secondsText(record.elapsedMs);
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
