// SPDX-License-Identifier: MIT
#include "burnin/cburninreader.h"
#include "burnin/tabburnin.h"
#include "config/rwini.h"
#include "qtcompat.h"
#include "simulatorwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableView>
#include <QtTest>

#include <sys/stat.h>

namespace {

// The colour the chart draws passed cards in.
bool hasCardColour(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xffffff) == 0x4fa3e0)
                return true;
        }
    }
    return false;
}

// A save replaces config.ini with a new file, so a new inode tells that it was written.
ino_t inode(const char *path)
{
    struct stat status
    {
    };
    return ::stat(path, &status) == 0 ? status.st_ino : 0;
}

// The widgets that take turns at one place of the page.
bool isView(const QWidget *widget)
{
    static const QStringList views {"TableCards", "ChartCards", "TableFailures", "ListRuns"};
    return views.contains(widget->objectName());
}

// The width a widget's text needs as the page's style sheet draws it.
int neededWidth(const QWidget *widget)
{
    if (const auto *edit = qobject_cast<const QLineEdit *>(widget))
        return edit->fontMetrics().horizontalAdvance(edit->placeholderText()) + 12;
    if (qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QLabel *>(widget))
        return widget->sizeHint().width();
    return 0;
}

[[maybe_unused]] QString textOf(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool runCards(TabBurnIn *page, int cards)
{
    page->findChild<QSpinBox *>("SpinCount")->setValue(cards);
    page->findChild<QRadioButton *>("RadioCapture")->setChecked(true);
    auto *start = page->findChild<QPushButton *>("BtnStart");
    start->click();
    return !start->isEnabled() && QTest::qWaitFor([start] { return start->isEnabled(); }, 60000);
}

} // namespace

// Burn-in runs through the real loader and the device simulator, read back from the files.
class tst_TabBurnInSimulator : public QObject
{
    Q_OBJECT

private slots:
    void runWritesARowPerCard_data();
    void runWritesARowPerCard();
    void noRunWithoutAResultsFolder();
    void chartAndHistoryAfterARun();
    void startWritesOnlyChangedSettings_data();
    void startWritesOnlyChangedSettings();
    void layoutFitsThePage();
};

void tst_TabBurnInSimulator::runWritesARowPerCard_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<int>("cards");
    QTest::addColumn<QStringList>("results");

    QTest::newRow("thirty cards into the bin") << QStringList {"VARNAK_SIM_CARDS=100"} << 30
                                               << QtCompat::repeated(30, QStringLiteral("pass"));
    // The card that found the bin full stays in the channel, where the clean-up cannot capture
    // it either: the run ends rather than run the next card into it.
    QTest::newRow("a full bin fails the capture with its code and ends the run")
        << QStringList {"VARNAK_SIM_BIN=3"} << 10
        << (QtCompat::repeated(3, QStringLiteral("pass")) << "回收 -18");
}

void tst_TabBurnInSimulator::runWritesARowPerCard()
{
    QFETCH(QStringList, settings);
    QFETCH(int, cards);
    QFETCH(QStringList, results);

    SimulatorWindow window(settings);
    QVERIFY(window.hasLibrary());
    auto *page = window.burnInPage();
    QVERIFY(page);
    page->findChild<QSpinBox *>("SpinCount")->setValue(cards);
    page->findChild<QRadioButton *>("RadioCapture")->setChecked(true);
    auto *start = page->findChild<QPushButton *>("BtnStart");
    start->click();
    QVERIFY(!start->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 60000);

    const QStringList files = QDir("results").entryList({"burnin-*.csv"}, QDir::Files);
    QCOMPARE(files.size(), 1);
    const BurnInCsv csv = readBurnInCsv(QDir("results").filePath(files.first()));
    QVERIFY2(csv.error.isEmpty(), qPrintable(csv.error));
    QVERIFY(!csv.cutShort);
    QStringList read;
    for (const BurnInRecord &record : csv.records) {
        read << (record.passed
                ? QString("pass")
                : burnInStepName(*record.failedStep) + ' ' + QString::number(record.failedCode));
    }
    QCOMPARE(read, results);
    QCOMPARE(page->cards().rowCount(), results.size());
    QCOMPARE(page->figures().done, results.size());
    // The summary at the end names both files.
    QVERIFY(window.logPane()->toPlainText().contains(
        QFileInfo(files.first()).completeBaseName() + ".log"));
}

// A file where the folder should be: nothing is called, and the pane says which folder failed.
void tst_TabBurnInSimulator::noRunWithoutAResultsFolder()
{
    SimulatorWindow window({});
    QVERIFY(window.hasLibrary());
    QFile blocker("results");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto *page = window.burnInPage();
    auto *start = page->findChild<QPushButton *>("BtnStart");
    start->click();
    QTRY_VERIFY(start->isEnabled());

    const QStringList lines = window.logLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(">>>老化测试未开始：")
            && lines.first().contains(QFileInfo("results").absoluteFilePath()),
        qPrintable(lines.first()));
    window.close();
    QCOMPARE(window.calls(), QStringList {"overlaps 0"});
}

// The operator's path after a run: the chart instead of the table, the chart saved beside the
// CSV, and the run opened again from the history into a fresh window.
void tst_TabBurnInSimulator::chartAndHistoryAfterARun()
{
    SimulatorWindow window(
        {"VARNAK_SIM_FAIL_PERCENT=10", "VARNAK_SIM_SEED=3", "VARNAK_SIM_CARDS=100"});
    auto *page = window.burnInPage();
    const auto button = [page](const char *name) { return page->findChild<QPushButton *>(name); };
    auto *table = page->findChild<QWidget *>("TableCards");
    auto *chart = page->findChild<QWidget *>("ChartCards");
    QVERIFY(table->isVisibleTo(page) && !chart->isVisibleTo(page));
    page->findChild<QSpinBox *>("SpinCount")->setValue(12);
    button("BtnStart")->click();
    QTRY_VERIFY_WITH_TIMEOUT(button("BtnStart")->isEnabled(), 60000);
    const int cards = page->cards().rowCount();
    const int failed = page->figures().failed();

    button("BtnShowChart")->click();
    QVERIFY(chart->isVisibleTo(page) && !table->isVisibleTo(page));
    button("BtnSaveChart")->click();
    const QStringList pictures = QDir("results").entryList({"burnin-*.png"}, QDir::Files);
    QCOMPARE(pictures.size(), 1);
    const QImage picture(QDir("results").filePath(pictures.first()));
    QCOMPARE(picture.size(), chart->size());
    QVERIFY2(hasCardColour(picture), "the saved chart shows no card");

    QSignalSpy scanned(page, &TabBurnIn::historyScanned);
    button("BtnShowHistory")->click();
    QVERIFY(scanned.wait(10000));
    QCOMPARE(page->runs().size(), 1);
    QCOMPARE(page->runs().first().cardsDone, cards);
    button("BtnStart")->click();
    QTRY_VERIFY_WITH_TIMEOUT(button("BtnStart")->isEnabled(), 60000);
    QTRY_COMPARE(page->runs().size(), 2);

    QSignalSpy opened(page, &TabBurnIn::runOpened);
    auto *list = page->findChild<QListWidget *>("ListRuns");
    emit list->itemActivated(list->item(1));
    QVERIFY(opened.wait(10000));
    QCOMPARE(page->cards().rowCount(), cards);
    QCOMPARE(page->figures().failed(), failed);
    QVERIFY(table->isVisibleTo(page));
}

void tst_TabBurnInSimulator::startWritesOnlyChangedSettings_data()
{
    QTest::addColumn<int>("secondCards");
    QTest::addColumn<bool>("rewritten");

    QTest::newRow("the same settings leave the file alone") << 2 << false;
    QTest::newRow("a new count is stored") << 3 << true;
}

void tst_TabBurnInSimulator::startWritesOnlyChangedSettings()
{
    QFETCH(int, secondCards);
    QFETCH(bool, rewritten);

    SimulatorWindow window({});
    QVERIFY(window.hasLibrary());
    auto *page = window.burnInPage();
    QVERIFY(runCards(page, 2));
    const ino_t before = inode("config.ini");
    QVERIFY(before != 0);
    QVERIFY(runCards(page, secondCards));
    QCOMPARE(inode("config.ini") != before, rewritten);
    QCOMPARE(RWIni::load("config.ini", "burnin", "cards", 0), secondCards);
    QCOMPARE(RWIni::load("config.ini", "burnin", "mode", QString()), QString("capture"));
}



// Every widget inside the page, none over another, every text within its widget: the page has a
// fixed size, and a label cut short or a button under a field is easy to miss by eye.
// CDT_BURNIN_PAGE_PNG names a file to keep a picture of the page in.
void tst_TabBurnInSimulator::layoutFitsThePage()
{
    SimulatorWindow window({});
    auto *page = window.burnInPage();
    page->window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(page->window()));
    // The longest texts the two labels get.
    page->findChild<QSpinBox *>("SpinTargetMcbf")->setValue(10000000);
    page->findChild<QComboBox *>("ComboConfidence")->setCurrentIndex(2);
    page->findChild<QLabel *>("LabelVerdict")->setText(QStringLiteral("不合格"));
    page->findChild<QPushButton *>("BtnShowHistory")->click();
    QCOMPARE(page->size(), QSize(757, 346));

    const QString picture = qEnvironmentVariable("CDT_BURNIN_PAGE_PNG");
    if (!picture.isEmpty())
        QVERIFY(page->grab().save(picture));

    QList<QWidget *> widgets;
    for (QWidget *widget : page->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!widget->isWindow())
            widgets << widget;
    }
    QStringList faults;
    for (QWidget *widget : std::as_const(widgets)) {
        const QString name = widget->objectName();
        if (!page->rect().contains(widget->geometry()))
            faults << name + " is outside the page";
        if (neededWidth(widget) > widget->width())
            faults << QStringLiteral("%1 needs %2 px").arg(name).arg(neededWidth(widget));
        for (QWidget *other : std::as_const(widgets)) {
            if (other != widget && !(isView(other) && isView(widget))
                && other->geometry().intersects(widget->geometry()))
                faults << name + " overlaps " + other->objectName();
        }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(", ")));
}

QTEST_MAIN(tst_TabBurnInSimulator)
#include "tst_tabburninsimulator.moc"
