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

Qualification::TestPlan testPlan(Qualification::PlanKind kind, const QString &name = QString())
{
    Qualification::TestPlan test;
    test.kind = kind;
    test.name = name;
    test.mcbfLower = 10000;
    return test;
}

// A run of `cards` cards judged by the plan, the chip unreadable on the cards in failedAt, as
// the report's source fills it from the store.
BurnInReportData planReport(
    const Qualification::TestPlan &test, int cards, const QVector<int> &failedAt = {})
{
    BurnInReportData data;
    data.serial = kSerial;
    data.mode = BurnInMode::Capture;
    data.started = QDateTime(QDate(2024, 3, 18), QTime(9, 30, 0));
    data.plan.test = test;
    data.plan.plannedCards = static_cast<int>(Qualification::planLines(test).n0);
    CBurnInSummary summary(data.mode);
    for (int index = 1; index <= cards; ++index) {
        BurnInRecord card;
        card.index = index;
        card.passed = !failedAt.contains(index);
        card.elapsedMs = 2300;
        if (!card.passed) {
            card.failedStep = BurnInStep::ReadChip;
            card.failedCode = -5;
        }
        summary.add(card);
        data.planPath.add(index, !card.passed);
    }
    data.figures = summary.figures();
    return data;
}

// Table cells are laid out in columns and the HTML folds runs of spaces: compare without them.
QString withoutSpaces(const QString &text)
{
    return text.simplified().remove(QLatin1Char(' '));
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

Q_DECLARE_METATYPE(BurnInReportData)

class tst_CBurnInReport : public QObject
{
    Q_OBJECT

private slots:
    void writesReadableEmbeddedPdf();
    void showsHowTheRunWasJudged_data();
    void showsHowTheRunWasJudged();
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

void tst_CBurnInReport::showsHowTheRunWasJudged_data()
{
    using Qualification::PlanKind;
    QTest::addColumn<BurnInReportData>("data");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("notShown");

    QTest::newRow("bound run as before")
        << exampleReport()
        << QStringList {QStringLiteral("28 次"), QStringLiteral("90% 置信下限"),
               QStringLiteral("MCBF ≥ 100 次（置信度 90%）"), QStringLiteral("不合格")}
        << QStringList {QStringLiteral("试验方案"), QStringLiteral("判定线"),
               QStringLiteral("真实风险"), QStringLiteral("接收"), QStringLiteral("试验方案图")};
    // a + bT reaches 0 at T = 43944.4.
    QTest::newRow("sequential accepted at the first card on the line")
        << planReport(testPlan(PlanKind::Sequential), 43945)
        << QStringList {QStringLiteral("序贯试验 θ1 = 10000 次 d = 2 α = 10% β = 10%"),
               QStringLiteral("20000 次"), QStringLiteral("生产方风险 α 10%"),
               QStringLiteral("a = -3.1699"), QStringLiteral("b = 7.2135e-5"),
               QStringLiteral("c = 2.7549"), QStringLiteral("205992"),
               QStringLiteral("接收（第 43945 张时判定）"), QStringLiteral("合格"),
               QStringLiteral("试验方案图")}
        << QStringList {QStringLiteral("演示 MCBF"), QStringLiteral("真实风险"),
               QStringLiteral("不合格"), QStringLiteral("尚未判定")};
    QTest::newRow("fixed run going on shows its true risks")
        << planReport(testPlan(PlanKind::Fixed), 1000, {500})
        << QStringList {QStringLiteral("定时试验 θ1 = 10000 次"),
               QStringLiteral("拒收故障数 r0 15"), QStringLiteral("205992"),
               QStringLiteral("α' = 10.00% β' = 8.37%"), QStringLiteral("继续（尚未判定）"),
               QStringLiteral("未完成"), QStringLiteral("尚余 204992 张")}
        << QStringList {
               QStringLiteral("判定线"), QStringLiteral("手册公布"), QStringLiteral("合格")};
    QTest::newRow("named plan beside the handbook's risks")
        << planReport(testPlan(PlanKind::Named, QStringLiteral("XII-D")), 1000)
        << QStringList {QStringLiteral("XII-D（θ1 = 10000 次 d = 2）"),
               QStringLiteral("试验时长 18.8 θ1"), QStringLiteral("拒收故障数 r0 14"),
               QStringLiteral("188000.00 次"), QStringLiteral("α' = 9.58% β' = 10.62%"),
               QStringLiteral("（手册公布 α = 9.6% β = 10.6%）"),
               QStringLiteral("继续（尚未判定）")}
        << QStringList {QStringLiteral("生产方风险"), QStringLiteral("判定线")};
}

void tst_CBurnInReport::showsHowTheRunWasJudged()
{
    QFETCH(BurnInReportData, data);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, notShown);
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("poppler-utils (pdftotext) are not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    QString error;
    QVERIFY2(CBurnInReport::write(data, path, &error), qPrintable(error));

    const QString text = run(pdftotext, {QStringLiteral("-layout"), path, QStringLiteral("-")});
    const QString squeezed = withoutSpaces(text);
    for (const QString &expected : shown)
        QVERIFY2(squeezed.contains(withoutSpaces(expected)),
            qPrintable(expected + QLatin1Char('\n') + text));
    for (const QString &unexpected : notShown)
        QVERIFY2(!squeezed.contains(withoutSpaces(unexpected)), qPrintable(unexpected));
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
