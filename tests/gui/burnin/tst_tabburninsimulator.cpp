// SPDX-License-Identifier: MIT
#include "engine/burnin/burninoptions.h"
#include "engine/settings/rwini.h"
#include "engine/store/cburninreader.h"
#include "gui/burnin/cfailuremodetablemodel.h"
#include "gui/burnin/chartplan.h"
#include "gui/burnin/tabburnin.h"
#include "gui/config/configdialog.h"
#include "qtcompat.h"
#include "simulatorwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTableView>
#include <QtTest>

#include <cmath>

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
    static const QStringList views {
        "TableCards", "ChartCards", "ChartPlan", "TableFailures", "ListRuns"};
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

QString textOf(const QString &program, const QStringList &arguments)
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
    void stopPressedTwiceEndsAHungCall();
    void chartAndHistoryAfterARun();
    void startWritesOnlyChangedSettings_data();
    void startWritesOnlyChangedSettings();
    void layoutFitsThePage_data();
    void layoutFitsThePage();
    void badUnitStartsNothing_data();
    void badUnitStartsNothing();
    void enterInAFieldStartsNothing();
    void mcbfHintFollowsTheInputs_data();
    void mcbfHintFollowsTheInputs();
    void judgedRunIsReported_data();
    void judgedRunIsReported();
    void runOpensTheChosenConnection_data();
    void runOpensTheChosenConnection();
    void sequentialPlanAcceptsAtItsLine();
    void badPlanStartsNothing_data();
    void badPlanStartsNothing();
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
    QTest::newRow("a full bin fails the capture with its code and ends the run") << QStringList {
        "VARNAK_SIM_BIN=3"} << 10 << (QtCompat::repeated(3, QStringLiteral("pass")) << "回收 -18");
    // Each new driver process loads the library afresh, so its second chip read crashes too.
    QTest::newRow("a driver that crashes fails the card and the run goes on")
        << QStringList {"VARNAK_SIM_FAULT_getICInfo=2:segv"} << 5
        << QStringList {"pass", "读卡 驱动崩溃", "pass", "读卡 驱动崩溃", "pass"};
    // config.ini's grace: the power-on's own 5 s and half a second.
    QTest::newRow("a driver that hangs fails the card and the run goes on")
        << QStringList {"VARNAK_SIM_FAULT_powerOn=1:hang", "hang_grace=0.5"} << 2
        << QStringList {"上电 无响应", "上电 无响应"};
}

void tst_TabBurnInSimulator::runWritesARowPerCard()
{
    QFETCH(QStringList, settings);
    QFETCH(int, cards);
    QFETCH(QStringList, results);

    SimulatorWindow window(settings.filter("VARNAK_SIM_"));
    QVERIFY(window.hasLibrary());
    // The page reads config.ini when it is first shown.
    for (const QString &setting : settings.filter("hang_grace="))
        RWIni::save("config.ini", "burnin", "hang_grace", setting.section('=', 1));
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
        read << (record.passed ? QString("pass")
                               : burnInStepName(*record.failedStep) + ' ' + record.failureText());
    }
    QCOMPARE(read, results);
    QCOMPARE(page->cards().rowCount(), results.size());
    QCOMPARE(page->figures().done, results.size());
    // The summary at the end names both files.
    QVERIFY(window.logPane()->toPlainText().contains(
        QFileInfo(files.first()).completeBaseName() + ".log"));
}

// The first press waits for the card in hand, which hangs for its whole deadline; the second
// ends the run at once without it, and 继续 runs that card again.
void tst_TabBurnInSimulator::stopPressedTwiceEndsAHungCall()
{
    SimulatorWindow window({"VARNAK_SIM_FAULT_powerOn=3:hang"});
    TabBurnIn *page = window.burnInPage();
    page->findChild<QSpinBox *>("SpinCount")->setValue(5);
    page->findChild<QRadioButton *>("RadioCapture")->setChecked(true);
    auto *start = page->findChild<QPushButton *>("BtnStart");
    auto *stop = page->findChild<QPushButton *>("BtnStop");
    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        !window.calls().filter(QRegularExpression(R"(^powerOn\(.*\) hangs$)")).isEmpty(), 30000);
    stop->click();
    QVERIFY(stop->isEnabled());
    QCOMPARE(stop->text(), QString("立即停止"));
    stop->click();
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 30000);
    QCOMPARE(stop->text(), QString("停止"));
    QVERIFY2(window.logPane()->toPlainText().contains("立即停止，第 3 张未完成，不计入"),
        qPrintable(window.logPane()->toPlainText()));
    QCOMPARE(page->figures().done, 2);

    // Mended: the next driver process loads the library without the fault.
    qunsetenv("VARNAK_SIM_FAULT_powerOn");
    QSignalSpy scanned(page, &TabBurnIn::historyScanned);
    page->findChild<QPushButton *>("BtnShowHistory")->click();
    QVERIFY(scanned.wait(10000));
    page->findChild<QListWidget *>("ListRuns")->setCurrentRow(0);
    auto *resume = page->findChild<QPushButton *>("BtnResume");
    QVERIFY(resume->isEnabled());
    resume->click();
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 60000);
    const QStringList files = QDir("results").entryList({"burnin-*.csv"}, QDir::Files);
    QCOMPARE(files.size(), 1);
    QList<int> indexes;
    for (const BurnInRecord &record :
        readBurnInCsv(QDir("results").filePath(files.first())).records)
        indexes << record.index;
    QCOMPARE(indexes, QList<int>({1, 2, 3, 4, 5}));
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

void tst_TabBurnInSimulator::layoutFitsThePage_data()
{
    QTest::addColumn<QString>("server");
    QTest::newRow("no server") << QString();
    // Nothing listens on port 1: LabelUpload and the history say so.
    QTest::newRow("a server") << QStringLiteral("host=127.0.0.1 port=1 dbname=burnin user=kiosk1");
}

// Every widget inside the page, none over another that is shown with it, every text within its
// widget: the page has a fixed size, and a label cut short or a button under a field is easy to
// miss by eye. CDT_BURNIN_PAGE_PNG names a file to keep a picture of the page in.
void tst_TabBurnInSimulator::layoutFitsThePage()
{
    QFETCH(QString, server);
    SimulatorWindow window({});
    if (!server.isEmpty())
        QVERIFY(RWIni::save("config.ini", "results", "server", server));
    auto *page = window.burnInPage();
    page->window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(page->window()));
    // The longest texts the labels get.
    page->findChild<QSpinBox *>("SpinTargetMcbf")->setValue(10000000);
    page->findChild<QComboBox *>("ComboConfidence")->setCurrentIndex(2);
    page->findChild<QLabel *>("LabelVerdict")->setText(QStringLiteral("不合格"));
    page->findChild<QLabel *>("LabelConnection")->setText(QStringLiteral("ttyUSB0，115200，BP：A"));
    if (!server.isEmpty()) {
        QTRY_VERIFY(page->findChild<QLabel *>("LabelUpload")->text().contains("不可达"));
        page->findChild<QComboBox *>("ComboScope")->setCurrentIndex(1);
    }
    page->findChild<QPushButton *>("BtnShowHistory")->click();
    QCOMPARE(page->size(), QSize(757, 346));
    if (!server.isEmpty()) {
        auto *list = page->findChild<QListWidget *>("ListRuns");
        QTRY_COMPARE(list->count(), 1);
        QVERIFY2(list->item(0)->text().startsWith(
                     "无法读取全部工位的记录：结果服务器 kiosk1@127.0.0.1:1/burnin："),
            qPrintable(list->item(0)->text()));
    }

    const QString picture = qEnvironmentVariable("CDT_BURNIN_PAGE_PNG");
    if (!picture.isEmpty())
        QVERIFY(page->grab().save(picture));

    // With a server the fleet lies over the whole page, and its own row of filters must fit.
    QWidget *surface = page;
    if (!server.isEmpty()) {
        auto *fleet = page->findChild<QWidget *>("FleetPanel");
        QVERIFY(fleet->isVisibleTo(page));
        QCOMPARE(fleet->geometry(), page->rect());
        auto *pageText = fleet->findChild<QLabel *>("LabelFleetPage");
        QTRY_VERIFY2(pageText->text().startsWith(
                         "无法读取全部工位的记录：结果服务器 kiosk1@127.0.0.1:1/burnin："),
            qPrintable(pageText->text()));
        surface = fleet;
    }
    QList<QWidget *> widgets;
    for (QWidget *widget :
        surface->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!widget->isWindow())
            widgets << widget;
    }
    QStringList faults;
    for (QWidget *widget : std::as_const(widgets)) {
        const QString name = widget->objectName();
        if (!surface->rect().contains(widget->geometry()))
            faults << name + " is outside the page";
        if (neededWidth(widget) > widget->width())
            faults << QStringLiteral("%1 needs %2 px").arg(name).arg(neededWidth(widget));
        for (QWidget *other : std::as_const(widgets)) {
            if (other != widget && !(isView(other) && isView(widget))
                && widget->isVisibleTo(surface) && other->isVisibleTo(surface)
                && other->geometry().intersects(widget->geometry()))
                faults << name + " overlaps " + other->objectName();
        }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(", ")));
}

void tst_TabBurnInSimulator::badUnitStartsNothing_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("operatorName");
    QTest::addColumn<int>("targetMcbf");
    QTest::addColumn<QString>("error");

    QTest::newRow("no serial with a target")
        << QString() << QString() << 100 << QStringLiteral("设了限值的测试须输入设备序列号");
    QTest::newRow("a serial of 65 characters")
        << QString(65, QLatin1Char('S')) << QString() << 0
        << QStringLiteral("设备序列号最多 64 个字符，输入了 65 个");
    QTest::newRow("a control character") << QStringLiteral("SN-0001") << QStringLiteral("王\a五")
                                         << 0 << QStringLiteral("操作员含有控制字符");
}

void tst_TabBurnInSimulator::badUnitStartsNothing()
{
    QFETCH(QString, serial);
    QFETCH(QString, operatorName);
    QFETCH(int, targetMcbf);
    QFETCH(QString, error);

    SimulatorWindow window({});
    QVERIFY(window.hasLibrary());
    auto *page = window.burnInPage();
    page->findChild<QLineEdit *>("EditSerial")->setText(serial);
    page->findChild<QLineEdit *>("EditOperator")->setText(operatorName);
    page->findChild<QSpinBox *>("SpinTargetMcbf")->setValue(targetMcbf);
    page->findChild<QPushButton *>("BtnStart")->click();

    QCOMPARE(window.logLines(), QStringList {">>>老化测试未开始：" + error});
    QVERIFY(!page->findChild<QPushButton *>("BtnStop")->isEnabled());
    QVERIFY(QDir("results").entryList({"burnin-*.csv"}, QDir::Files).isEmpty());
    window.close();
    QCOMPARE(window.calls(), QStringList {"overlaps 0"});
}

// A barcode scanner ends the serial with Enter, in the field or wherever the focus is; 开始 has
// had the focus, which makes a dialog's auto-default button its default.
void tst_TabBurnInSimulator::enterInAFieldStartsNothing()
{
    SimulatorWindow window({});
    auto *page = window.burnInPage();
    qobject_cast<QStackedWidget *>(page->parentWidget())->setCurrentWidget(page);
    page->window()->show();
    QVERIFY(QTest::qWaitForWindowActive(page->window()) && page->isVisible());
    auto *start = page->findChild<QPushButton *>("BtnStart");
    start->setFocus();
    QTRY_VERIFY(start->hasFocus());
    QTest::keyClick(start, Qt::Key_Return);
    auto *serial = page->findChild<QLineEdit *>("EditSerial");
    serial->setFocus();
    QTest::keyClicks(serial, QStringLiteral("SN-0001"));
    QTest::keyClick(serial, Qt::Key_Return);
    QTest::keyClick(serial, Qt::Key_Escape);

    for (const QPushButton *button : page->findChildren<QPushButton *>())
        QVERIFY2(!button->isDefault(), qPrintable(button->objectName()));
    QVERIFY(start->isEnabled());
    QVERIFY(page->isVisible());
    QCOMPARE(serial->text(), QStringLiteral("SN-0001"));
    window.close();
    QCOMPARE(window.calls(), QStringList {"overlaps 0"});
}

void tst_TabBurnInSimulator::mcbfHintFollowsTheInputs_data()
{
    QTest::addColumn<int>("targetMcbf");
    QTest::addColumn<QString>("confidence");
    QTest::addColumn<int>("cards");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("warning");

    QTest::newRow("no target, no hint") << 0 << "90%" << 100 << QString() << false;
    QTest::newRow("too few cards to show it")
        << 100 << "90%" << 230 << QStringLiteral("无故障至少 231 张\n可证 MCBF ≥ 100") << true;
    QTest::newRow("a higher confidence needs more")
        << 100 << "95%" << 231 << QStringLiteral("无故障至少 300 张\n可证 MCBF ≥ 100") << true;
}

// What the next run needs, as the operator sets it up.
void tst_TabBurnInSimulator::mcbfHintFollowsTheInputs()
{
    QFETCH(int, targetMcbf);
    QFETCH(QString, confidence);
    QFETCH(int, cards);

    SimulatorWindow window({});
    auto *page = window.burnInPage();
    page->findChild<QSpinBox *>("SpinTargetMcbf")->setValue(targetMcbf);
    page->findChild<QComboBox *>("ComboConfidence")->setCurrentText(confidence);
    page->findChild<QSpinBox *>("SpinCount")->setValue(cards);
    const QLabel *label = page->findChild<QLabel *>("LabelMcbf");
    QTEST(label->text(), "hint");
    QTEST(label->property("warning").toString() == QStringLiteral("true"), "warning");
}

void tst_TabBurnInSimulator::judgedRunIsReported_data()
{
    QTest::addColumn<bool>("earlyFail");
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("mcbf");
    QTest::addColumn<int>("failures");

    // T = 300, r = 6: 600 / chi2(0.9; 14) = 28.5.
    QTest::newRow("every fiftieth chip read fails") << false << 300 << 28 << 6;
    // After the first failure even 300 clean cards would show 77 at most.
    QTest::newRow("early fail ends the run at the first failure") << true << 50 << 12 << 1;
}

// A unit with a serial and a target: the verdict, the demonstrated MCBF and the failure modes on
// the page, the PDF beside the CSV at the run's end and again from the history.
void tst_TabBurnInSimulator::judgedRunIsReported()
{
    QFETCH(bool, earlyFail);
    QFETCH(int, done);
    QFETCH(int, mcbf);
    QFETCH(int, failures);
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    const QString pdffonts = QStandardPaths::findExecutable(QStringLiteral("pdffonts"));
    if (pdftotext.isEmpty() || pdffonts.isEmpty())
        QSKIP("poppler-utils (pdftotext, pdffonts) are not installed");

    SimulatorWindow window({"VARNAK_SIM_FAIL_EVERY_getICInfo=50", "VARNAK_SIM_CARDS=1000"});
    auto *page = window.burnInPage();
    page->findChild<QLineEdit *>("EditSerial")->setText(QStringLiteral(" SN-0001 "));
    page->findChild<QSpinBox *>("SpinTargetMcbf")->setValue(100);
    page->findChild<QComboBox *>("ComboConfidence")->setCurrentText(QStringLiteral("90%"));
    page->findChild<QCheckBox *>("CheckEarlyFail")->setChecked(earlyFail);
    QSignalSpy reported(page, &TabBurnIn::reportWritten);
    QVERIFY(runCards(page, 300));

    QCOMPARE(page->figures().done, done);
    QCOMPARE(page->findChild<QLabel *>("LabelVerdict")->text(), QStringLiteral("不合格"));
    QCOMPARE(page->findChild<QLabel *>("LabelMcbf")->text(),
        QStringLiteral("演示 MCBF %1 次（90%）").arg(mcbf));
    const QAbstractItemModel *modes = page->findChild<QTableView *>("TableFailures")->model();
    QCOMPARE(modes->rowCount(), 1);
    QCOMPARE(modes->index(0, FailureModeText::Count).data().toInt(), failures);
    QCOMPARE(window.logPane()->toPlainText().contains(QStringLiteral("无法达标")), earlyFail);
    QVERIFY(reported.count() == 1 || reported.wait(30000));
    const QStringList csv = QDir("results").entryList({"burnin-SN-0001-*.csv"}, QDir::Files);
    QCOMPARE(csv.size(), 1);
    const QString pdf = reported.first().first().toString();
    QCOMPARE(pdf,
        QFileInfo(QDir("results").filePath(csv.first()))
            .absoluteFilePath()
            .replace(".csv", ".pdf"));
    QVERIFY(window.logLines().contains(QStringLiteral(">>>报告已生成：") + pdf));

    const QString text = textOf(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY2(text.contains(QStringLiteral("SN-0001")) && text.contains(QStringLiteral("不合格"))
            && text.contains(QStringLiteral("%1 次").arg(mcbf)),
        qPrintable(text));
    const QStringList fonts = textOf(pdffonts, {pdf}).split('\n', Qt::SkipEmptyParts);
    QVERIFY2(fonts.size() > 2, "pdffonts listed no font");
    const int emb = static_cast<int>(fonts.first().indexOf(QStringLiteral("emb")));
    for (int i = 2; i < fonts.size(); ++i)
        QVERIFY2(fonts.at(i).mid(emb, 3) == QStringLiteral("yes"), qPrintable(fonts.at(i)));

    // The history: the serial and the verdict in the line, a failed run not to be continued, the
    // filter by serial, and the report again.
    QSignalSpy scanned(page, &TabBurnIn::historyScanned);
    page->findChild<QPushButton *>("BtnShowHistory")->click();
    QVERIFY(scanned.wait(10000));
    auto *list = page->findChild<QListWidget *>("ListRuns");
    QVERIFY2(list->item(0)->text().contains(QStringLiteral("  SN-0001  "))
            && list->item(0)->text().endsWith(QStringLiteral("  不合格")),
        qPrintable(list->item(0)->text()));
    list->setCurrentRow(0);
    auto *report = page->findChild<QPushButton *>("BtnReport");
    auto *resume = page->findChild<QPushButton *>("BtnResume");
    QVERIFY(resume->isEnabled() && report->isEnabled());
    // 不合格 is final: 继续 says so, points to the report and runs nothing.
    resume->click();
    QVERIFY2(window.logLines().constLast().contains(QStringLiteral("判定为不合格，不再继续")),
        qPrintable(window.logLines().constLast()));
    auto *filter = page->findChild<QLineEdit *>("EditFilter");
    filter->setText(QStringLiteral("SN-0002"));
    QVERIFY(list->item(0)->isHidden() && !report->isEnabled());
    filter->setText(QStringLiteral("sn-00"));
    QVERIFY(!list->item(0)->isHidden());
    list->setCurrentRow(0);
    report->click();
    QVERIFY(reported.wait(30000));
    // A report never replaces the one before it.
    QCOMPARE(reported.last().first().toString(), QString(pdf).replace(".pdf", "-2.pdf"));

    QCOMPARE(RWIni::load("config.ini", "burnin", "targetMcbf", 0), 100);
    QCOMPARE(RWIni::load("config.ini", "burnin", "serial", QString("none")), QString("none"));
}

void tst_TabBurnInSimulator::runOpensTheChosenConnection_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("opened");
    QTest::addColumn<QString>("stored");

    const QString fixed = R"(openDevice(0, 115200, "", 5) = 0)";
    QTest::newRow("固定") << 0 << "HID，115200" << fixed << "fixed";
    QTest::newRow("通信设置") << 1 << "ttyS1，9600，BP：B"
                              << R"(openDevice(2, 9600, "B", 5) = 0)"
                              << "settings";
}

// The dialog saves port 2, 9600 and BP B; only a burn-in set to 通信设置 opens with them, and the
// card test page keeps its fixed arguments whatever the dialog holds.
void tst_TabBurnInSimulator::runOpensTheChosenConnection()
{
    QFETCH(int, choice);
    QFETCH(QString, shown);
    QFETCH(QString, opened);
    QFETCH(QString, stored);
    SimulatorWindow window({"VARNAK_SIM_TAKE_MS=50"});
    TabBurnIn *page = window.burnInPage();
    page->findChild<QComboBox *>("ComboConnection")->setCurrentIndex(choice);
    page->findChild<QPushButton *>("BtnComSettings")->click();
    ConfigDialog *dialog = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<ConfigDialog *>(widget); found && found->isVisible())
            dialog = found;
    }
    QVERIFY(dialog);
    dialog->findChild<QLineEdit *>("EditCom")->setText("2");
    dialog->findChild<QComboBox *>("CbxBaud")->setCurrentText("9600");
    dialog->findChild<QComboBox *>("CbxBP")->setCurrentText("B");
    dialog->findChild<QPushButton *>("BtnComSave")->click();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(page->findChild<QLabel *>("LabelConnection")->text(), shown);

    QVERIFY(runCards(page, 1));
    QCOMPARE(RWIni::load("config.ini", "burnin", "connection", QString()), stored);
    QTest::mouseClick(window.button("BtnOpenDevice"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(window.logLines().contains(">>>打开设备：0"), 10000);
    window.close();
    // The run's first open comes before its card's own, which the record begins with.
    QCOMPARE(window.calls().filter("openDevice("),
        QStringList({opened, opened, R"(openDevice(0, 115200, "", 5) = 0)"}));
}

// A unit that never fails, judged by a sequential plan: accepted on the card where the accept
// line reaches zero failures, the run ended there, the plan kept for the next start and its chart
// saved beside the seconds chart.
void tst_TabBurnInSimulator::sequentialPlanAcceptsAtItsLine()
{
    Qualification::TestPlan plan;
    plan.kind = Qualification::PlanKind::Sequential;
    plan.mcbfLower = 20;
    const Qualification::PlanLines lines = Qualification::planLines(plan);
    const auto accepted = static_cast<int>(std::ceil(-lines.a / lines.b));
    QCOMPARE(accepted, 88); // a short run, well before n0
    QVERIFY(accepted < lines.n0);

    SimulatorWindow window({"VARNAK_SIM_CARDS=1000"});
    auto *page = window.burnInPage();
    page->findChild<QLineEdit *>("EditSerial")->setText(QStringLiteral("SN-PLAN"));
    page->findChild<QComboBox *>("ComboPlan")->setCurrentText(QStringLiteral("序贯试验"));
    page->findChild<QLineEdit *>("EditMcbfLower")->setText(QStringLiteral("20"));
    page->findChild<QComboBox *>("ComboDiscrimination")->setCurrentText(QStringLiteral("2"));
    page->findChild<QLineEdit *>("EditProducerRisk")->setText(QStringLiteral("10"));
    page->findChild<QLineEdit *>("EditConsumerRisk")->setText(QStringLiteral("10"));
    auto *count = page->findChild<QSpinBox *>("SpinCount");
    QVERIFY(!count->isEnabled() && !page->findChild<QSpinBox *>("SpinTargetMcbf")->isEnabled());
    QCOMPARE(count->value(), int(lines.n0));
    QCOMPARE(page->findChild<QLabel *>("LabelMcbf")->text(),
        QStringLiteral("无故障 %1 张接收\n至多 %2 张").arg(accepted).arg(lines.n0));
    auto *start = page->findChild<QPushButton *>("BtnStart");
    start->click();
    QVERIFY2(!start->isEnabled(), qPrintable(window.logLines().join('\n')));
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 60000);

    QCOMPARE(page->figures().done, accepted);
    QCOMPARE(page->findChild<QLabel *>("LabelVerdict")->text(), QStringLiteral("合格"));
    const auto *chart = page->findChild<ChartPlan *>("ChartPlan");
    const PlanOutcome outcome = firstDecision(chart->plan(), chart->lines(), chart->path());
    QCOMPARE(outcome.decision, Qualification::PlanDecision::Accept);
    QCOMPARE(outcome.cycle, qint64(accepted));
    QCOMPARE(RWIni::load("config.ini", "burnin", "plan", QString()), QStringLiteral("sequential"));
    QCOMPARE(RWIni::load("config.ini", "burnin", "mcbfLower", QString()), QStringLiteral("20"));
    // The count kept is the one a bound run is to run, not the plan's n0.
    QCOMPARE(BurnInConfig::load().settings.cards, BurnInConfig::kDefaultCards);

    page->findChild<QPushButton *>("BtnShowChart")->click();
    QVERIFY(chart->isVisibleTo(page));
    page->findChild<QPushButton *>("BtnSaveChart")->click();
    const QStringList pictures = QDir("results").entryList({"burnin-*-plan.png"}, QDir::Files);
    QCOMPARE(pictures.size(), 1);
    QCOMPARE(QImage(QDir("results").filePath(pictures.first())).size(), chart->size());
}

void tst_TabBurnInSimulator::badPlanStartsNothing_data()
{
    QTest::addColumn<QString>("plan");
    QTest::addColumn<QString>("mcbfLower");
    QTest::addColumn<QString>("producerRisk");
    QTest::addColumn<QString>("error");

    QString error;
    qint64 cycles = 0;
    int percent = 0;
    QVERIFY(!BurnInConfig::parseMcbfLower(QStringLiteral("0"), &cycles, &error));
    QTest::newRow("θ1 of 0") << QStringLiteral("序贯试验") << QStringLiteral("0")
                             << QStringLiteral("10") << error;
    QVERIFY(!BurnInConfig::parseRisk(QStringLiteral("41"), &percent, &error));
    QTest::newRow("a producer's risk above 40%")
        << QStringLiteral("定时试验") << QStringLiteral("1000") << QStringLiteral("41") << error;
}

void tst_TabBurnInSimulator::badPlanStartsNothing()
{
    QFETCH(QString, plan);
    QFETCH(QString, mcbfLower);
    QFETCH(QString, producerRisk);
    QFETCH(QString, error);

    SimulatorWindow window({});
    auto *page = window.burnInPage();
    page->findChild<QLineEdit *>("EditSerial")->setText(QStringLiteral("SN-PLAN"));
    page->findChild<QComboBox *>("ComboPlan")->setCurrentText(plan);
    page->findChild<QLineEdit *>("EditMcbfLower")->setText(mcbfLower);
    page->findChild<QLineEdit *>("EditProducerRisk")->setText(producerRisk);
    QCOMPARE(page->findChild<QSpinBox *>("SpinCount")->text(), QStringLiteral("—"));
    page->findChild<QPushButton *>("BtnStart")->click();

    QCOMPARE(window.logLines(), QStringList {">>>老化测试未开始：" + error});
    QVERIFY(!page->findChild<QPushButton *>("BtnStop")->isEnabled());
    QVERIFY(QDir("results").entryList({"burnin-*.csv"}, QDir::Files).isEmpty());
}

QTEST_MAIN(tst_TabBurnInSimulator)
#include "tst_tabburninsimulator.moc"
