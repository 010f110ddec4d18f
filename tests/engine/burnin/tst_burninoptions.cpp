// SPDX-License-Identifier: MIT
#include "engine/burnin/burninoptions.h"
#include "inifiletext.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QString text(const BurnInOptions &options)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
        .arg(options.settings.cards)
        .arg(BurnInConfig::modeKey(options.settings.mode))
        .arg(int(options.settings.stopOnFailure))
        .arg(options.limits.targetMcbf)
        .arg(options.limits.confidence)
        .arg(options.limits.maxP95Seconds, 0, 'f', 3)
        .arg(int(options.limits.earlyFail))
        .arg(options.unit.model.isEmpty() ? QStringLiteral("-") : options.unit.model);
}

QString inputs(const Qualification::TestPlan &plan)
{
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(Qualification::planKey(plan))
        .arg(plan.mcbfLower)
        .arg(plan.discrimination)
        .arg(plan.producerRisk)
        .arg(plan.consumerRisk);
}

} // namespace

// The defaults both front ends read from config.ini and the checks they share, against real
// INI files in a temporary folder.
class tst_BurnInOptions : public QObject
{
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void saveWritesWhatLoadReads();
    void check_data();
    void check();
    void loadPlan_data();
    void loadPlan();
    void namedPlanKeepsThePersonsRatio();
};

void tst_BurnInOptions::load_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("expected"); // cards mode stop target confidence p95 early model

    QTest::newRow("no file gives the built-in defaults")
        << QByteArray() << "100 capture 0 0 90 0.000 0 -";
    QTest::newRow("every key") << QByteArray("[burnin]\ncards=2500\nmode=handout\nstopOnFailure=1\n"
                                             "targetMcbf=5000\nconfidence=95\nmaxP95=2.5\n"
                                             "earlyFail=1\nmodel=KD-7\n")
                               << "2500 handout 1 5000 95 2.500 1 KD-7";
    QTest::newRow("values the checks refuse fall back") << QByteArray(
        "[burnin]\ncards=100001\nmode=eject\ntargetMcbf=-5\nconfidence=85\n"
        "maxP95=1.2345\nmodel="
        + QByteArray(65, 'M') + "\n") << "100 capture 0 0 90 0.000 0 -";
    QTest::newRow("no cards is no number of cards")
        << QByteArray("[burnin]\ncards=0\nmaxP95=601\n") << "100 capture 0 0 90 0.000 0 -";
}

void tst_BurnInOptions::load()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    if (!ini.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
    }
    QCOMPARE(text(BurnInConfig::load(path)), expected);
}

// What the page saves at 开始 is what the command line starts with; the serial stays behind.
void tst_BurnInOptions::saveWritesWhatLoadReads()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    BurnInOptions options;
    options.settings = {1234, BurnInMode::HandOut, true, 1};
    options.unit = {"SN-9", "KD-7", "王工"};
    options.limits.targetMcbf = 800;
    options.limits.confidence = 80;
    options.limits.maxP95Seconds = 1.25;
    QVERIFY(BurnInConfig::save(options, path));
    QCOMPARE(IniFileText(path).value("burnin", "maxP95"), QString("1.250"));
    QVERIFY(IniFileText(path).value("burnin", "serial").isNull());
    const BurnInOptions loaded = BurnInConfig::load(path);
    QCOMPARE(text(loaded), text(options));
    QCOMPARE(loaded.unit.operatorName, QString("王工"));
}

void tst_BurnInOptions::check_data()
{
    QTest::addColumn<double>("maxP95");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("no limits, no serial") << 0.0 << "" << true;
    QTest::newRow("a limit needs a serial") << 1.5 << "" << false;
    QTest::newRow("a limit with a serial, trimmed") << 1.5 << "  SN-1 " << true;
    QTest::newRow("more decimals than the page shows") << 1.0005 << "SN-1" << false;
    QTest::newRow("above ten minutes") << 600.5 << "SN-1" << false;
}

void tst_BurnInOptions::check()
{
    QFETCH(double, maxP95);
    QFETCH(QString, serial);
    QFETCH(bool, accepted);

    BurnInOptions options;
    options.limits.maxP95Seconds = maxP95;
    options.unit.serial = serial;
    QCOMPARE(BurnInConfig::check(options).isEmpty(), accepted);
    if (accepted)
        QCOMPARE(options.unit.serial, serial.trimmed());
}

void tst_BurnInOptions::loadPlan_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("expected"); // plan theta1 d alpha beta

    QTest::newRow("none") << QByteArray() << "bound 0 2 10 10";
    QTest::newRow("sequential") << QByteArray(
        "[burnin]\nplan=sequential\nmcbfLower=5000\ndiscrimination=1.5\n"
        "producerRisk=5\nconsumerRisk=20\n")
                                << "sequential 5000 1.5 5 20";
    QTest::newRow("a named plan takes its own ratio")
        << QByteArray("[burnin]\nplan=XV-D\nmcbfLower=300\ndiscrimination=1.5\n")
        << "XV-D 300 3 10 10";
    QTest::newRow("a plan without theta1 is the bound")
        << QByteArray("[burnin]\nplan=fixed\n") << "bound 0 2 10 10";
    QTest::newRow("theta1 out of range is the bound")
        << QByteArray("[burnin]\nplan=fixed\nmcbfLower=1000001\n") << "bound 0 2 10 10";
    QTest::newRow("an unknown plan is the bound")
        << QByteArray("[burnin]\nplan=xii-d\nmcbfLower=300\n") << "bound 300 2 10 10";
    QTest::newRow("risks and a ratio the checks refuse fall back") << QByteArray(
        "[burnin]\nplan=fixed\nmcbfLower=300\ndiscrimination=2.0\n"
        "producerRisk=41\nconsumerRisk=0.5\n") << "fixed 300 2 10 10";
}

void tst_BurnInOptions::loadPlan()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ini);
    file.close();
    QCOMPARE(inputs(BurnInConfig::load(path).limits.test), expected);
}

// A named plan saved over a sequential one leaves the person's own ratio and risks for the next.
void tst_BurnInOptions::namedPlanKeepsThePersonsRatio()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    BurnInOptions options;
    options.unit.serial = "SN-1";
    QString error;
    QVERIFY(BurnInConfig::parsePlan("sequential", &options.limits.test, &error));
    options.limits.test.mcbfLower = 700;
    options.limits.test.discrimination = 3.0;
    options.limits.test.producerRisk = 20;
    QVERIFY(BurnInConfig::check(options).isEmpty());
    QVERIFY(BurnInConfig::save(options, path));
    QVERIFY(BurnInConfig::parsePlan("XII-D", &options.limits.test, &error));
    QVERIFY(BurnInConfig::check(options).isEmpty());
    QVERIFY(BurnInConfig::save(options, path));
    QCOMPARE(inputs(BurnInConfig::load(path).limits.test), QString("XII-D 700 2 20 10"));
    QCOMPARE(IniFileText(path).value("burnin", "discrimination"), QString("3"));
}

QTEST_GUILESS_MAIN(tst_BurnInOptions)
#include "tst_burninoptions.moc"
