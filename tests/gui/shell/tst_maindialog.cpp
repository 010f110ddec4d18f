// SPDX-License-Identifier: MIT
#include "gui/burnin/tabburnin.h"
#include "gui/cardtest/tabkeypad.h"
#include "gui/config/configdialog.h"
#include "gui/shell/maindialog.h"
#include "messagecapture.h"
#include "qtcompat.h"
#include "ui_maindialog.h"
#include "workingfolder.h"

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStackedWidget>
#include <QtTest>

#include <thread>

namespace {

template<typename T> T *child(const QWidget &parent, const char *name)
{
    return parent.findChild<T *>(QLatin1String(name));
}

QStringList styleSheetImages(const QWidget &root)
{
    static const QRegularExpression url(QStringLiteral("url\\(([^)]*)\\)"));
    QStringList images;
    QList<const QWidget *> widgets {&root};
    for (const QWidget *widget : root.findChildren<QWidget *>())
        widgets << widget;
    for (const QWidget *widget : widgets) {
        auto it = url.globalMatch(widget->styleSheet());
        while (it.hasNext())
            images << it.next().captured(1);
    }
    return images;
}

} // namespace

class tst_MainDialog : public QObject
{
    Q_OBJECT

private slots:
    void startWithoutLibrary();
    void startWithSimulator();
    void formWidgets_data();
    void formWidgets();
    void formFonts();
    void resolvedFontWeights_data();
    void resolvedFontWeights();
    void styleSheetWeight_data();
    void styleSheetWeight();
    void formOnItsOwnShowsNoPage();
    void formKeepsAnExistingName();
    void styleSheetImagesExist();
    void settingsButtonHiddenAndItsSlotShowsSettings();
    void logAppendsInOrderAndScrolls();
    void postLogOnTheGuiThreadAppendsAtOnce();
    void postLogFromOtherThreadsKeepsOrderAndScrolls();
    void logLetsLinesPostedBeforeItIn();
    void clearButtonEmptiesLog();
    void listClickSwitchesPage_data();
    void listClickSwitchesPage();
    void keyboardDoesNotSwitchPage();
    void closeButtonEndsEventLoopWithZero();
};

void tst_MainDialog::startWithoutLibrary()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    MessageCapture capture;
    MainDialog dialog;
    QCOMPARE(capture.messages(),
        QStringList({"start load so", "open so failed", "load libvarnak_c.so failed"}));
    QVERIFY(!dialog.sdk()->pOpenDevice);

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), QSize(944, 583));
    auto *stack = child<QStackedWidget>(dialog, "stackedWidget");
    QCOMPARE(stack->count(), 2);
    QCOMPARE(stack->currentIndex(), 0);
    QVERIFY(qobject_cast<TabKeypad *>(stack->currentWidget()));
    // Built on demand, in its place in the stack, once, and not shown for it.
    QVERIFY(!dialog.findChild<TabBurnIn *>());
    TabBurnIn *burnIn = dialog.burnInPage();
    QCOMPARE(stack->widget(1), burnIn);
    QCOMPARE(dialog.burnInPage(), burnIn);
    QCOMPARE(stack->count(), 2);
    QCOMPARE(stack->currentIndex(), 0);
}

void tst_MainDialog::startWithSimulator()
{
    WorkingFolder folder;
    QVERIFY(folder.stageSimulator());
    MessageCapture capture;
    MainDialog dialog;
    QCOMPARE(capture.messages(), QStringList({"start load so", "load success"}));
    QVERIFY(dialog.sdk()->pOpenDevice);

    auto *page
        = qobject_cast<TabKeypad *>(child<QStackedWidget>(dialog, "stackedWidget")->widget(0));
    QVERIFY(page);
    QCOMPARE(page->m_pMainWindow, &dialog);
    QCOMPARE(page->m_pSdk, dialog.sdk());
}

void tst_MainDialog::formWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");

    const auto row = [](const char *name, const char *className, const char *parent, QRect rect) {
        QTest::newRow(name) << QString(name) << QString(className) << QString(parent) << rect;
    };
    row("widget_topBar", "QFrame", "MainDialog", {-1, -1, 946, 49});
    row("label", "QLabel", "widget_topBar", {20, 12, 232, 24});
    row("menuButton_Close", "QPushButton", "widget_topBar", {913, 16, 16, 16});
    row("pushButton_2", "QPushButton", "widget_topBar", {875, 14, 23, 22});
    row("listWidget", "QListWidget", "MainDialog", {13, 66, 157, 495});
    row("EditLog", "QPlainTextEdit", "MainDialog", {195, 448, 716, 113});
    row("pushButton", "QPushButton", "MainDialog", {876, 408, 28, 28});
    row("label_2", "QLabel", "MainDialog", {201, 416, 73, 17});
    row("label_3", "QLabel", "MainDialog", {281, 425, 587, 2});
    row("stackedWidget", "QStackedWidget", "MainDialog", {180, 63, 757, 346});
}

void tst_MainDialog::formWidgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);

    WorkingFolder folder;
    MainDialog dialog;
    QCOMPARE(dialog.objectName(), QString("MainDialog"));
    auto *widget = dialog.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->metaObject()->className(), className.toLatin1());
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    QCOMPARE(widget->geometry(), geometry);
}

void tst_MainDialog::formFonts()
{
    WorkingFolder folder;
    MainDialog dialog;
    QVERIFY(child<QLabel>(dialog, "label")->font().bold());
    QCOMPARE(child<QLabel>(dialog, "label")->text(), QString("发卡机测试工具_V0.0.1"));
    QCOMPARE(child<QLabel>(dialog, "label_2")->text(), QString("输出信息"));

    auto *list = child<QListWidget>(dialog, "listWidget");
    // The list's style sheet names the family again, split at the comma.
    QVERIFY(list->font().families().value(0).startsWith("PingFangSC"));
    // The list's own font sits under its style sheet's font declarations.
    list->ensurePolished();
    list->setStyleSheet(QString());
    QCOMPARE(list->font().weight(), QFont::DemiBold);
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QString("发卡"));
    QVERIFY(!list->item(0)->icon().isNull());
    QCOMPARE(list->item(1)->text(), QString("老化测试"));
    QVERIFY(!list->item(1)->icon().isNull());
    QCOMPARE(list->frameShape(), QFrame::WinPanel);
    QCOMPARE(child<QFrame>(dialog, "widget_topBar")->frameShape(), QFrame::StyledPanel);
}

void tst_MainDialog::resolvedFontWeights_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("weight");

    QTest::newRow("title") << "label" << int(QFont::Bold);
    QTest::newRow("log caption") << "label_2" << int(QFont::Bold);
    QTest::newRow("page list") << "listWidget" << int(QFont::DemiBold);
    QTest::newRow("log pane") << "EditLog" << int(QFont::Normal);
}

// What the style sheets make of the fonts on screen, as the forms were designed to look.
void tst_MainDialog::resolvedFontWeights()
{
    QFETCH(QString, name);
    QFETCH(int, weight);

    WorkingFolder folder;
    MainDialog dialog;
    dialog.show();
    auto *widget = dialog.findChild<QWidget *>(name);
    QVERIFY(widget);
    widget->ensurePolished();
    QCOMPARE(int(widget->font().weight()), weight);
}

void tst_MainDialog::styleSheetWeight_data()
{
    QTest::addColumn<int>("weight");

    QTest::newRow("normal") << int(QFont::Normal);
    QTest::newRow("demi-bold, the page list's") << int(QFont::DemiBold);
    QTest::newRow("bold") << int(QFont::Bold);
}

// The number for a style sheet resolves to the same weight under the running Qt's own scale.
void tst_MainDialog::styleSheetWeight()
{
    QFETCH(int, weight);

    QLabel label;
    label.setStyleSheet(
        QStringLiteral("font-weight: %1;").arg(QtCompat::styleSheetWeight(QFont::Weight(weight))));
    label.ensurePolished();
    QCOMPARE(int(label.font().weight()), weight);
}

void tst_MainDialog::formOnItsOwnShowsNoPage()
{
    QDialog dialog;
    Ui_MainDialog form;
    form.setupUi(&dialog);
    QCOMPARE(dialog.objectName(), QString("MainDialog"));
    QCOMPARE(form.stackedWidget->currentIndex(), -1);
    QCOMPARE(dialog.windowTitle(), QString("Dialog"));
}

void tst_MainDialog::formKeepsAnExistingName()
{
    QDialog dialog;
    dialog.setObjectName("named");
    Ui_MainDialog form;
    form.setupUi(&dialog);
    QCOMPARE(dialog.objectName(), QString("named"));
}

void tst_MainDialog::styleSheetImagesExist()
{
    WorkingFolder folder;
    MainDialog dialog;
    const QStringList images = styleSheetImages(dialog);
    for (const char *button :
        {"close_up", "close_down", "config_up", "config_down", "clear-normal", "clear-move"}) {
        QVERIFY2(images.contains(QString(":/new/prefix1/res/%1.png").arg(button)), button);
    }
    for (const QString &image : images)
        QVERIFY2(QFile::exists(image), qPrintable(image));
}

void tst_MainDialog::settingsButtonHiddenAndItsSlotShowsSettings()
{
    WorkingFolder folder;
    MainDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(!child<QPushButton>(dialog, "pushButton_2")->isVisible());

    ConfigDialog *config = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *candidate = qobject_cast<ConfigDialog *>(widget))
            config = candidate;
    }
    QVERIFY(config);
    QVERIFY(!config->isVisible());
    // Returns at once: the dialog is shown, not executed.
    QVERIFY(QMetaObject::invokeMethod(&dialog, "on_pushButton_2_clicked"));
    QVERIFY(config->isVisible());
    QCOMPARE(config->windowModality(), Qt::ApplicationModal);
    config->hide();
}

void tst_MainDialog::logAppendsInOrderAndScrolls()
{
    WorkingFolder folder;
    MainDialog dialog;
    dialog.show();
    auto *log = child<QPlainTextEdit>(dialog, "EditLog");
    for (int i = 0; i < 50; ++i)
        dialog.Log(QString("line %1").arg(i));
    dialog.Log("a");
    dialog.Log("b");

    const QStringList lines = log->toPlainText().split('\n');
    QCOMPARE(lines.size(), 52);
    QCOMPARE(lines.first(), QString("line 0"));
    QCOMPARE(lines.mid(50), QStringList({"a", "b"}));
    QVERIFY(log->textCursor().atEnd());
    QVERIFY(!log->textCursor().hasSelection());
    QCOMPARE(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
}

void tst_MainDialog::postLogOnTheGuiThreadAppendsAtOnce()
{
    WorkingFolder folder;
    MainDialog dialog;
    auto *log = child<QPlainTextEdit>(dialog, "EditLog");
    dialog.postLog("a");
    QCOMPARE(log->toPlainText(), QString("a"));
}

// More lines than one slice appends, from two threads at once: none is lost, each thread's lines
// keep their order, and the pane ends at the newest line as if every line had been Log'ged.
void tst_MainDialog::postLogFromOtherThreadsKeepsOrderAndScrolls()
{
    constexpr int kLinesEach = 3000;
    WorkingFolder folder;
    MainDialog dialog;
    dialog.show();
    auto *log = child<QPlainTextEdit>(dialog, "EditLog");
    const auto post = [&dialog](const QString &prefix) {
        for (int i = 0; i < kLinesEach; ++i)
            dialog.postLog(prefix + QString::number(i));
    };
    std::thread first(post, QStringLiteral("a "));
    std::thread second(post, QStringLiteral("b "));
    first.join();
    second.join();
    QTRY_COMPARE_WITH_TIMEOUT(log->blockCount(), 2 * kLinesEach, 60000);

    const QStringList lines = log->toPlainText().split('\n');
    QStringList expectedA;
    QStringList expectedB;
    for (int i = 0; i < kLinesEach; ++i) {
        expectedA << QStringLiteral("a %1").arg(i);
        expectedB << QStringLiteral("b %1").arg(i);
    }
    QCOMPARE(lines.filter(QRegularExpression("^a ")), expectedA);
    QCOMPARE(lines.filter(QRegularExpression("^b ")), expectedB);
    QVERIFY(log->textCursor().atEnd());
    QCOMPARE(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
}

void tst_MainDialog::logLetsLinesPostedBeforeItIn()
{
    WorkingFolder folder;
    MainDialog dialog;
    std::thread([&dialog] {
        dialog.postLog("from a test");
        dialog.postLog("from a test, later");
    }).join();
    dialog.Log("from the window");
    QTRY_COMPARE(child<QPlainTextEdit>(dialog, "EditLog")->toPlainText(),
        QString("from a test\nfrom a test, later\nfrom the window"));
    dialog.Log("with nothing waiting");
    QCOMPARE(child<QPlainTextEdit>(dialog, "EditLog")->blockCount(), 4);
}

void tst_MainDialog::clearButtonEmptiesLog()
{
    WorkingFolder folder;
    MainDialog dialog;
    dialog.show();
    auto *log = child<QPlainTextEdit>(dialog, "EditLog");
    dialog.Log("a");
    dialog.Log("b");
    QTest::mouseClick(child<QPushButton>(dialog, "pushButton"), Qt::LeftButton);
    QCOMPARE(log->toPlainText(), QString());
    dialog.Log("c");
    QCOMPARE(log->toPlainText(), QString("c"));
}

void tst_MainDialog::listClickSwitchesPage_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("expectedPage");
    QTest::addColumn<bool>("burnInBuilt");

    QTest::newRow("row 0 shows the card test page") << 0 << 0 << false;
    QTest::newRow("row 1 builds and shows the burn-in page") << 1 << 1 << true;
    QTest::newRow("a row beyond the pages changes nothing") << 2 << 1 << false;
}

void tst_MainDialog::listClickSwitchesPage()
{
    QFETCH(int, row);
    QFETCH(int, expectedPage);
    QFETCH(bool, burnInBuilt);

    WorkingFolder folder;
    MainDialog dialog;
    auto *list = child<QListWidget>(dialog, "listWidget");
    auto *stack = child<QStackedWidget>(dialog, "stackedWidget");
    // An entry without a page, so that both branches can be reached.
    list->addItem("no page");
    stack->setCurrentIndex(1);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    MessageCapture capture;
    const QRect itemRect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, itemRect.center());
    QCOMPARE(stack->currentIndex(), expectedPage);
    QCOMPARE(qobject_cast<TabBurnIn *>(stack->widget(1)) != nullptr, burnInBuilt);
    QVERIFY(stack->currentWidget()->isVisible());
    QCOMPARE(stack->count(), 2);
    const QString internalId = QString::number(qint64(list->model()->index(row, 0).internalId()));
    QCOMPARE(capture.messages(), QStringList(internalId + "   " + QString::number(row)));
}

void tst_MainDialog::keyboardDoesNotSwitchPage()
{
    WorkingFolder folder;
    MainDialog dialog;
    auto *list = child<QListWidget>(dialog, "listWidget");
    auto *stack = child<QStackedWidget>(dialog, "stackedWidget");
    stack->addWidget(new QWidget);
    list->addItem("second");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    list->setFocus();
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentRow(), 1);
    QCOMPARE(stack->currentIndex(), 0);
}

void tst_MainDialog::closeButtonEndsEventLoopWithZero()
{
    WorkingFolder folder;
    MainDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTimer::singleShot(0, &dialog, [&dialog] {
        QTest::mouseClick(child<QPushButton>(dialog, "menuButton_Close"), Qt::LeftButton);
    });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(dialog.isHidden());
}

QTEST_MAIN(tst_MainDialog)
#include "tst_maindialog.moc"
