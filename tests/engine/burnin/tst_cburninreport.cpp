// SPDX-License-Identifier: MIT
#include "engine/burnin/cburninreport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kCards = 300;
constexpr int kChipFailureEvery = 50;
const QString kSerial = QStringLiteral("CD300-2403-0117");

// 300 cards in capture mode, the chip unreadable on every 50th, judged against an MCBF of 100
// at 90%: 2 x 300 / chi2(0.9; 14) = 28, so 不合格.
BurnInReportData exampleReport()
{
    BurnInReportData data;
    data.serial = kSerial;
    data.model = QStringLiteral("CD-300");
    data.operatorName = QStringLiteral("王敏");
    data.station = QStringLiteral("老化台 3");
    data.connection = QStringLiteral("ttyS1，9600，BP：B");
    data.toolVersion = QStringLiteral("0.0.1");
    data.libraryPath = QStringLiteral("/opt/card-dispenser-test/lib/libvarnak_c.so");
    data.librarySha256
        = QStringLiteral("9f2c4e1b7a0d3c58e6b1f04a2d97c3e5b8a6f1d0c2e4b7a9d3f5e8c1b0a2d4f6");
    data.mode = BurnInMode::Capture;
    data.started = QDateTime(QDate(2024, 3, 18), QTime(9, 30, 0));
    data.plan.targetMcbf = 100;
    data.plan.maxP95Seconds = 3.0;
    data.plan.plannedCards = kCards;

    CBurnInSummary summary(data.mode);
    CFailureModes modes;
    Qualification::Counts counts;
    for (int index = 1; index <= kCards; ++index) {
        BurnInRecord card;
        card.index = index;
        card.started = data.started.addMSecs(2600LL * (index - 1));
        card.passed = index % kChipFailureEvery != 0;
        card.elapsedMs = card.passed ? 2300 + (index * 7919) % 509 : 3400;
        if (!card.passed) {
            card.failedStep = BurnInStep::ReadChip;
            card.failedCode = -5;
        }
        summary.add(card);
        modes.add(card);
        counts.add(card);
        data.chart.add(card);
    }
    data.figures = summary.figures();
    data.chart.setP95Seconds(data.figures.p95Seconds);
    data.failureModes = modes.rows();
    data.ended = data.started.addSecs(13 * 60 + 5);
    data.endText = QStringLiteral("已完成");
    data.driverFaults.push_back({data.started.addSecs(600), QStringLiteral("读卡：45 秒内无响应")});
    data.driverFailures = 1;
    return data;
}

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class tst_CBurnInReport : public QObject
{
    Q_OBJECT

private slots:
    void writesReadableEmbeddedPdf();
    void reportsUnwritablePath();
};

void tst_CBurnInReport::writesReadableEmbeddedPdf()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    const QString pdffonts = QStandardPaths::findExecutable(QStringLiteral("pdffonts"));
    if (pdftotext.isEmpty() || pdffonts.isEmpty())
        QSKIP("poppler-utils (pdftotext, pdffonts) are not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    const BurnInReportData data = exampleReport();
    QCOMPARE(Qualification::verdictText(data.verdict()), QStringLiteral("不合格"));

    QString error;
    QVERIFY2(CBurnInReport::write(data, path, &error), qPrintable(error));
    // The picture of the report in docs/ is made from this very file.
    const QString keep = qEnvironmentVariable("CDT_REPORT_PDF");
    if (!keep.isEmpty())
        QVERIFY(CBurnInReport::write(data, keep));

    const QString text = run(pdftotext, {QStringLiteral("-layout"), path, QStringLiteral("-")});
    QVERIFY2(text.contains(kSerial), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("发卡机老化测试报告")));
    QVERIFY(text.contains(QStringLiteral("不合格")));
    QVERIFY(text.contains(QStringLiteral("28 次")));
    QVERIFY(text.contains(QStringLiteral("ttyS1，9600，BP：B")));
    QVERIFY(text.contains(QStringLiteral("驱动无响应或崩溃 1 次")));
    QVERIFY(text.contains(QStringLiteral("读卡：45 秒内无响应")));

    // Every font, the fallbacks too, so the file shows the same on a machine without them.
    const QStringList lines = run(pdffonts, {path}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() > 2, "pdffonts listed no font");
    const int emb = static_cast<int>(lines.first().indexOf(QStringLiteral("emb")));
    QVERIFY(emb > 0);
    for (int i = 2; i < lines.size(); ++i)
        QVERIFY2(lines.at(i).mid(emb, 3) == QStringLiteral("yes"), qPrintable(lines.at(i)));
    QVERIFY(lines.join(QLatin1Char('\n')).contains(QStringLiteral("WenQuanYi")));
}

void tst_CBurnInReport::reportsUnwritablePath()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("missing/report.pdf"));
    QString error;
    QVERIFY(!CBurnInReport::write(exampleReport(), path, &error));
    QVERIFY(error.contains(path));
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(tst_CBurnInReport)
#include "tst_cburninreport.moc"
