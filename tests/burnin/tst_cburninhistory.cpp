// SPDX-License-Identifier: MIT
#include "burnin/cburninhistory.h"
#include "burnin/cburninwriter.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

const QDateTime kStart(QDate(2026, 12, 8), QTime(10, 25, 32));

// Card i starts i seconds after the run and takes 0.9 s, the last one 6 s; cards 7 and 67 fail.
QString writeRun(const QString &folder, const QDateTime &start, BurnInMode mode, int cards)
{
    CBurnInWriter writer;
    QString error;
    if (!writer.open(folder, start, mode, &error))
        return error;
    for (int i = 1; i <= cards; ++i) {
        BurnInRecord record;
        record.index = i;
        record.started = start.addSecs(i);
        record.passed = i % 60 != 7;
        record.elapsedMs = i == cards ? 6000 : 900;
        writer.writeRecord(record);
    }
    return writer.csvPath();
}

// Appends, creating the file if needed; name may be absolute.
bool append(const QDir &folder, const QString &name, const QByteArray &bytes)
{
    QFile file(folder.filePath(name));
    return file.open(QIODevice::Append) && file.write(bytes) == bytes.size();
}

} // namespace

class tst_CBurnInHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listsRunsOfTheFolder_data();
    void listsRunsOfTheFolder();

private:
    QTemporaryDir m_dir;
    QVector<BurnInRunInfo> m_runs;
    QStringList m_skipped;
};

void tst_CBurnInHistory::initTestCase()
{
    const QString folder = m_dir.path();
    const BurnInMode capture = BurnInMode::Capture;
    writeRun(folder, kStart, capture, 120);
    writeRun(folder, kStart, BurnInMode::HandOut, 3);
    const QString cut = writeRun(folder, kStart.addDays(-1), capture, 3);
    QVERIFY(QFile::resize(cut, QFileInfo(cut).size() - 30));
    writeRun(folder, kStart.addDays(-7), capture, 0);
    const QString other = writeRun(folder, kStart.addDays(-8), capture, 3);
    QVERIFY(QFile::rename(other, m_dir.filePath(QStringLiteral("burnin-copy.csv"))));
    QVERIFY(QFile::copy(cut, m_dir.filePath(QStringLiteral("summary.csv"))));
    const QDir dir(folder);
    QVERIFY(append(dir, QStringLiteral("burnin-notes.csv"), "name,age\r\nBob,3\r\n"));
    QVERIFY(append(dir, QStringLiteral("burnin-20261207-090000.csv"), {}));
    const QString live = writeRun(folder, kStart.addDays(1), BurnInMode::HandOut, 3);
    QVERIFY(append(dir, live, "4,2026-12-09 10:25"));

    m_runs = scanBurnInRuns(folder, live, &m_skipped);
    QCOMPARE(m_runs.size(), 6);
    QCOMPARE(m_skipped.size(), 2);
}

void tst_CBurnInHistory::listsRunsOfTheFolder_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("position"); // -1: not listed
    QTest::addColumn<QString>("text"); // the label, or the reason it was skipped
    QTest::addColumn<QString>("notice"); // of the run opened for display

    const QString path = m_dir.path() + u'/';
    QTest::newRow("in progress, last row on its way")
        << "burnin-20261209-102532.csv" << 0
        << "2026-12-09 10:25:32  出卡  3 张  通过率 100.0%  用时 00:00:08  (进行中)"
        << path + "burnin-20261209-102532.csv：运行尚未结束，结束后才能打开";
    QTest::newRow("second run of the same second")
        << "burnin-20261208-102532-2.csv" << 1
        << "2026-12-08 10:25:32  出卡  3 张  通过率 100.0%  用时 00:00:08" << QString();
    QTest::newRow("complete") << "burnin-20261208-102532.csv" << 2
                              << "2026-12-08 10:25:32  回收  120 张  通过率 98.3%  用时 00:02:05"
                              << QString();
    QTest::newRow("cut short")
        << "burnin-20261207-102532.csv" << 3
        << "2026-12-07 10:25:32  回收  2 张  通过率 100.0%  用时 00:00:01  (中断)"
        << "记录不完整：运行被中断，已读出 2 张";
    QTest::newRow("no card") << "burnin-20261201-102532.csv" << 4
                             << "2026-12-01 10:25:32  —  0 张  通过率 —  用时 00:00:00"
                             << QString();
    QTest::newRow("name without a time, first card's")
        << "burnin-copy.csv" << 5 << "2026-11-30 10:25:33  回收  3 张  通过率 100.0%  用时 00:00:08"
        << QString();
    QTest::newRow("foreign CSV") << "burnin-notes.csv" << -1 << "不是老化测试结果文件" << QString();
    QTest::newRow("empty") << "burnin-20261207-090000.csv" << -1 << "文件是空的" << QString();
    QTest::newRow("named otherwise") << "summary.csv" << -1 << QString() << QString();
}

void tst_CBurnInHistory::listsRunsOfTheFolder()
{
    QFETCH(QString, file);
    QFETCH(int, position);
    QFETCH(QString, text);
    QFETCH(QString, notice);
    const QString path = m_dir.filePath(file);
    const auto run = std::find_if(m_runs.cbegin(), m_runs.cend(),
        [&](const BurnInRunInfo &info) { return info.csvPath == path; });

    if (position < 0) {
        QVERIFY(run == m_runs.cend());
        QCOMPARE(m_skipped.filter(file).value(0),
            text.isEmpty() ? QString() : path + QStringLiteral("：") + text);
        return;
    }
    QCOMPARE(run - m_runs.cbegin(), position);
    QCOMPARE(run->label(), text);
    QCOMPARE(run->cutShort, text.endsWith(QStringLiteral("(中断)")));
    QCOMPARE(burnInRunNotice(openBurnInRun(*run)), notice);
}

QTEST_GUILESS_MAIN(tst_CBurnInHistory)
#include "tst_cburninhistory.moc"
