// SPDX-License-Identifier: MIT
#include "ui_tabkeypad.h"

#include <QDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

namespace {

QStringList buttonNames(const QWidget &page)
{
    QStringList names;
    for (const QPushButton *button :
        page.findChildren<QPushButton *>(QString(), Qt::FindDirectChildrenOnly)) {
        names << button->objectName();
    }
    return names;
}

QStringList selectors(const QString &styleSheet)
{
    static const QRegularExpression rule(QStringLiteral("([^{}]+)\\{[^{}]*\\}"));
    QStringList out;
    for (auto it = rule.globalMatch(styleSheet); it.hasNext();)
        out << it.next().captured(1).trimmed();
    return out;
}

QColor colourAt(QWidget *widget, const QPoint &point)
{
    return widget->grab().toImage().pixelColor(point);
}

} // namespace

class tst_TabKeypadForm : public QObject
{
    Q_OBJECT

private slots:
    void page();
    void keepsAnExistingName();
    void buttons_data();
    void buttons();
    void buttonsCreatedInFormOrder();
    void styleSheetRules();
    void pressedButtonIsDarker();
};

void tst_TabKeypadForm::page()
{
    QDialog page;
    Ui_TabKeypad ui;
    ui.setupUi(&page);
    QCOMPARE(page.objectName(), QString("TabKeypad"));
    QCOMPARE(page.size(), QSize(664, 346));
    QCOMPARE(page.windowTitle(), QString("Dialog"));
}

void tst_TabKeypadForm::keepsAnExistingName()
{
    QDialog page;
    page.setObjectName("KeypadPage");
    Ui_TabKeypad ui;
    ui.setupUi(&page);
    QCOMPARE(page.objectName(), QString("KeypadPage"));
}

void tst_TabKeypadForm::buttons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    QTest::newRow("open, its text ending in a blank")
        << "BtnOpenDevice" << QRect(80, 100, 111, 29) << "打开 ";
    QTest::newRow("close, lower than the others")
        << "BtnCloseDevice" << QRect(220, 100, 111, 26) << "关闭";
    QTest::newRow("issue one card") << "BtnSendCard" << QRect(80, 170, 111, 29) << "发卡";
    QTest::newRow("capture a card") << "BtnRecycleCard" << QRect(220, 170, 111, 29) << "吞卡";
    QTest::newRow("issue ten cards")
        << "BtnSendCard10" << QRect(370, 170, 131, 29) << "连续发卡10张";
}

void tst_TabKeypadForm::buttons()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    QDialog page;
    Ui_TabKeypad ui;
    ui.setupUi(&page);
    auto *button = page.findChild<QPushButton *>(name);
    QVERIFY(button);
    QCOMPARE(button->parentWidget(), &page);
    QCOMPARE(button->geometry(), geometry);
    QCOMPARE(button->text(), text);
    QVERIFY(button->isEnabled());
    QVERIFY(!button->isHidden());
    QVERIFY(button->toolTip().isEmpty());
    QVERIFY(button->icon().isNull());
    QVERIFY(button->shortcut().isEmpty());
}

void tst_TabKeypadForm::buttonsCreatedInFormOrder()
{
    QDialog page;
    Ui_TabKeypad ui;
    ui.setupUi(&page);
    QCOMPARE(buttonNames(page),
        QStringList(
            {"BtnOpenDevice", "BtnSendCard", "BtnRecycleCard", "BtnSendCard10", "BtnCloseDevice"}));
    QCOMPARE(ui.BtnOpenDevice->objectName(), QString("BtnOpenDevice"));
    QCOMPARE(ui.BtnCloseDevice->objectName(), QString("BtnCloseDevice"));
}

void tst_TabKeypadForm::styleSheetRules()
{
    QDialog page;
    Ui_TabKeypad ui;
    ui.setupUi(&page);
    QCOMPARE(selectors(page.styleSheet()),
        QStringList({"QDialog", "QComboBox", "QComboBox::drop-down", "QComboBox::down-arrow",
            "QComboBox QAbstractItemView", "QComboBox::item:selected", "QLabel", "QLineEdit",
            "QPushButton", "QPushButton:pressed", "QGroupBox", "QGroupBox::title"}));
}

void tst_TabKeypadForm::pressedButtonIsDarker()
{
    QDialog page;
    Ui_TabKeypad ui;
    ui.setupUi(&page);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    // Inside the border and the rounded corner, left of the centred text.
    const QPoint inside(10, 14);
    QCOMPARE(colourAt(ui.BtnSendCard, inside), QColor("#3B3B3B"));
    ui.BtnSendCard->setDown(true);
    QCOMPARE(colourAt(ui.BtnSendCard, inside), QColor("#232323"));
    ui.BtnSendCard->setDown(false);
    QCOMPARE(colourAt(ui.BtnSendCard, inside), QColor("#3B3B3B"));
    QCOMPARE(colourAt(&page, QPoint(5, 5)), QColor(43, 43, 43));
}

QTEST_MAIN(tst_TabKeypadForm)
#include "tst_tabkeypadform.moc"
