// SPDX-License-Identifier: MIT
#include "engine/store/cburninreader.h"
#include "engine/store/cburninwriter.h"
#include "filesizelimit.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

namespace {

const QDateTime kStart(QDate(2024, 5, 6), QTime(7, 8, 9, 123));

BurnInRecord card(int index, const QString &number = QStringLiteral("1"))
{
    BurnInRecord record;
    record.index = index;
    record.started = kStart.addSecs(index);
    record.cardNumber = number;
    record.passed = true;
    record.elapsedMs = 1234;
    record.stepTime(BurnInStep::Open) = 0;
    record.stepTime(BurnInStep::ReadChip) = 999;
    return record;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

// Column types of the data tables; Qt 5 does not register them by itself.
Q_DECLARE_METATYPE(BurnInRecord)
Q_DECLARE_METATYPE(BurnInMode)

class tst_CBurnInWriter : public QObject
{
    Q_OBJECT

private slots:
    void recordsReadBackAsWritten_data();
    void recordsReadBackAsWritten();
    void bytesOnDisk();
    void runInTheSameSecondGetsItsOwnFiles();
    void openNamesTheFolderItCannotWrite();
    void failedWriteIsKeptNamingTheFile();
    void fullDiskLeavesWholeLines_data();
    void fullDiskLeavesWholeLines();
    void readsDamagedAndForeignFiles_data();
    void readsDamagedAndForeignFiles();

private:
    QByteArray written(const QVector<BurnInRecord> &records, BurnInMode mode = BurnInMode::Capture);

    QTemporaryDir m_dir;
    int m_runs = 0;
};

QByteArray tst_CBurnInWriter::written(const QVector<BurnInRecord> &records, BurnInMode mode)
{
    CBurnInWriter writer;
    QString error;
    if (!writer.open(m_dir.filePath(QString::number(++m_runs)), kStart, mode, QString(), &error))
        return error.toUtf8();
    for (const BurnInRecord &record : records)
        writer.writeRecord(record);
    return contents(writer.csvPath());
}

void tst_CBurnInWriter::recordsReadBackAsWritten_data()
{
    QTest::addColumn<BurnInRecord>("record");
    QTest::addColumn<BurnInMode>("mode");

    BurnInRecord failed = card(2, QString());
    failed.passed = false;
    failed.failedStep = BurnInStep::Removal;
    failed.failedCode = -7;
    BurnInRecord duplicate = card(3);
    duplicate.duplicate = true;
    BurnInRecord utc = card(4);
    utc.started = utc.started.toUTC();
    QTest::newRow("passed") << card(1) << BurnInMode::Capture;
    QTest::newRow("failed with step and code") << failed << BurnInMode::HandOut;
    for (const BurnInOutcome outcome : {BurnInOutcome::NoReply, BurnInOutcome::DriverCrash}) {
        BurnInRecord driver = card(2, QString());
        driver.passed = false;
        driver.failedStep = BurnInStep::ReadChip;
        driver.outcome = outcome;
        QTest::addRow("failed with %s", qPrintable(burnInOutcomeKey(outcome)))
            << driver << BurnInMode::Capture;
    }
    QTest::newRow("duplicate") << duplicate << BurnInMode::Capture;
    QTest::newRow("start given in UTC") << utc << BurnInMode::Capture;
    const QStringList hostile = {"1,2", "say \"hi\"", "12\r\n34", "=1+2", "+1", "-1", "@SUM(A1)",
        "\t1", "'quoted", "''", "卡号,\"\n"};
    for (const QString &number : hostile)
        QTest::addRow("card number %s", qPrintable(number))
            << card(5, number) << BurnInMode::HandOut;
}

void tst_CBurnInWriter::recordsReadBackAsWritten()
{
    QFETCH(BurnInRecord, record);
    QFETCH(BurnInMode, mode);
    // The plain card after it shows that the row before it ended where it should.
    const BurnInCsv csv = parseBurnInCsv(written({record, card(9)}, mode));

    QCOMPARE(csv.error, QString());
    QCOMPARE(csv.mode, std::optional<BurnInMode>(mode));
    QCOMPARE(csv.records.size(), 2);
    QVERIFY(csv.records.front() == record);
    QVERIFY(csv.records.back() == card(9));
}

void tst_CBurnInWriter::bytesOnDisk()
{
    const QString folder = m_dir.filePath(QStringLiteral("bytes"));
    CBurnInWriter writer;
    QString error;
    QVERIFY(writer.open(folder, kStart, BurnInMode::Capture, QString(), &error));
    BurnInRecord record = card(2, QStringLiteral("=1"));
    record.passed = false;
    record.failedStep = BurnInStep::ReadChip;
    record.failedCode = -3;
    record.duplicate = true;
    writer.writeRecord(record);
    writer.writeLine(QStringLiteral("读卡 ret 0\r\n2"));

    QCOMPARE(contents(writer.csvPath()),
        QByteArray("\xEF\xBB\xBF"
                   "序号,开始时间,模式,卡号,结果,失败步骤,错误码,用时(秒),打开设备(秒),"
                   "查询通道(秒),清理通道(秒),发卡到读卡位(秒),移卡(秒),上电(秒),读卡(秒),"
                   "下电(秒),回收(秒),出卡(秒),等待取卡(秒),重复卡号\r\n"
                   "2,2024-05-06 07:08:11.123,回收,'=1,失败,读卡,-3,1.234,0.000,,,,,,0.999,"
                   ",,,,是\r\n"));
    const QString log = QString::fromUtf8(contents(writer.logPath()));
    const QRegularExpression line(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} 读卡 ret 0  2\n$)");
    QVERIFY2(line.match(log).hasMatch(), qPrintable(log));
}

void tst_CBurnInWriter::runInTheSameSecondGetsItsOwnFiles()
{
    const QString folder = m_dir.filePath(QStringLiteral("same"));
    CBurnInWriter first;
    CBurnInWriter second;
    QString error;
    QVERIFY(first.open(folder, kStart, BurnInMode::Capture, QString(), &error));
    QVERIFY(second.open(folder, kStart, BurnInMode::Capture, QString(), &error));

    QCOMPARE(second.csvPath(), folder + QStringLiteral("/burnin-20240506-070809-2.csv"));
    QCOMPARE(second.logPath(), folder + QStringLiteral("/burnin-20240506-070809-2.log"));
}

void tst_CBurnInWriter::openNamesTheFolderItCannotWrite()
{
    QFile plain(m_dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    const QString folder = plain.fileName() + QStringLiteral("/results");
    CBurnInWriter writer;
    QString error;

    QVERIFY(!writer.open(folder, kStart, BurnInMode::Capture, QString(), &error));
    QVERIFY2(error.contains(QDir(folder).absolutePath()), qPrintable(error));
    QCOMPARE(writer.csvPath(), QString());
}

// A full disk, as far as the writer can tell: files may not grow past a few kilobytes.
void tst_CBurnInWriter::failedWriteIsKeptNamingTheFile()
{
    QTemporaryDir dir;
    CBurnInWriter writer;
    QString error;
    QVERIFY(writer.open(dir.path(), kStart, BurnInMode::Capture, QString(), &error));
    QVERIFY(writer.error().isEmpty());

    {
        const FileSizeLimit disk(4096);
        for (int index = 1; index <= 100 && writer.error().isEmpty(); ++index)
            writer.writeRecord(card(index));
        writer.writeLine(QStringLiteral("still going"));
    }

    QVERIFY2(writer.error().startsWith(QStringLiteral("无法写入 ") + writer.csvPath()),
        qPrintable(writer.error()));
}

void tst_CBurnInWriter::fullDiskLeavesWholeLines_data()
{
    QTest::addColumn<bool>("log"); // else the CSV
    QTest::addColumn<bool>("devFull"); // else a file size limit, which gives "File too large"
    QTest::newRow("CSV row past the size limit") << false << false;
    QTest::newRow("log line past the size limit") << true << false;
    QTest::newRow("log on /dev/full") << true << true;
}

void tst_CBurnInWriter::fullDiskLeavesWholeLines()
{
    QFETCH(bool, log);
    QFETCH(bool, devFull);
    QTemporaryDir dir;
    CBurnInWriter writer;
    QString error;
    QVERIFY(devFull ? writer.reopen(dir.filePath(QStringLiteral("run.csv")),
                QStringLiteral("/dev/full"), BurnInMode::Capture, {}, &error)
                    : writer.open(dir.path(), kStart, BurnInMode::Capture, QString(), &error));
    const QString path = log ? writer.logPath() : writer.csvPath();
    // Three-byte characters; the limit falls within one of them in either file.
    const auto writeOne = [&](int index) {
        log ? writer.writeLine(QStringLiteral("读卡失败").repeated(index))
            : writer.writeRecord(card(index, QStringLiteral("卡号").repeated(index)));
    };
    int written = 0;
    {
        const FileSizeLimit disk(QFileInfo(path).size() + 1001);
        while (written < 100 && writer.error().isEmpty())
            writeOne(++written);
    }

    QCOMPARE(writer.error(),
        QStringLiteral("无法写入 %1：%2").arg(path, qt_error_string(devFull ? ENOSPC : EFBIG)));
    if (devFull)
        return;
    // With room again the next line follows the last whole one: no half line, no hole.
    writeOne(written);
    const QByteArray bytes = contents(path);
    QVERIFY(
        !bytes.contains('\0') && !QString::fromUtf8(bytes).contains(QChar::ReplacementCharacter));
    QVERIFY(bytes.endsWith('\n'));
    QCOMPARE(bytes.count('\n'), written + (log ? 0 : 1));
}

void tst_CBurnInWriter::readsDamagedAndForeignFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("cutShort");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<bool>("error");

    const QByteArray two = written({card(1), card(2)});
    const QByteArray three = written({card(1, "a"), card(2, "b"), card(3, "c")});
    QTest::newRow("complete") << three << 3 << false << 0 << false;
    QTest::newRow("no card") << written({}) << 0 << false << 0 << false;
    QTest::newRow("LF line ends") << QByteArray(three).replace("\r\n", "\n") << 3 << false << 0
                                  << false;
    QTest::newRow("blank line at the end") << three + "\r\n" << 3 << false << 0 << false;
    QTest::newRow("last line end missing") << three.chopped(2) << 2 << true << 0 << false;
    QTest::newRow("last row half written") << three.chopped(30) << 2 << true << 0 << false;
    QTest::newRow("last row too short") << two + "3,x\r\n" << 2 << true << 0 << false;
    QTest::newRow("quote never closes") << two + "3,\"x,\r\n4\r\n" << 2 << true << 0 << false;
    QTest::newRow("bad row in the middle")
        << QByteArray(three).replace("\r\n2,", "\r\nzwei,") << 2 << false << 1 << false;
    QTest::newRow("other mode in the middle")
        << QByteArray(three).replace(",回收,b,", ",出卡,b,") << 2 << false << 1 << false;
    QTest::newRow("foreign CSV") << QByteArray("name,age\r\nBob,3\r\n") << 0 << false << 0 << true;
    QTest::newRow("empty") << QByteArray() << 0 << false << 0 << true;
    QTest::newRow("only a byte order mark")
        << QByteArray("\xEF\xBB\xBF") << 0 << false << 0 << true;
    QTest::newRow("over 64 MiB") << three + QByteArray(kMaxBurnInCsvBytes, '\n') << 0 << false << 0
                                 << true;
}

void tst_CBurnInWriter::readsDamagedAndForeignFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, records);
    QFETCH(bool, cutShort);
    QFETCH(int, skipped);
    QFETCH(bool, error);
    QFile file(m_dir.filePath(QStringLiteral("read.csv")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    const BurnInCsv csv = readBurnInCsv(file.fileName());
    QCOMPARE(csv.records.size(), records);
    QCOMPARE(csv.cutShort, cutShort);
    QCOMPARE(csv.skippedRows, skipped);
    QCOMPARE(csv.error.contains(file.fileName()), error);
    QCOMPARE(csv.mode.has_value(), records > 0);
}

QTEST_GUILESS_MAIN(tst_CBurnInWriter)
#include "tst_cburninwriter.moc"
