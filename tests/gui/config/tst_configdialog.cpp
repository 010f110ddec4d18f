// SPDX-License-Identifier: MIT
#include "gui/config/configdialog.h"
#include "gui/shell/maindialog.h"
#include "inifiletext.h"
#include "messagecapture.h"
#include "readonlypath.h"
#include "ui_configdialog.h"
#include "workingfolder.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const QString kConfigFile = QStringLiteral("config.ini");
const QString kGroup = QStringLiteral("com");

template<typename T> T *child(const QWidget &parent, const char *name)
{
    return parent.findChild<T *>(QLatin1String(name));
}

// The widgets the tests drive, found by the object names that bind the form to its slots.
struct Form
{
    explicit Form(const QWidget &dialog)
        : port(child<QLineEdit>(dialog, "EditCom"))
        , portLabel(child<QLabel>(dialog, "LabelCom"))
        , bp(child<QComboBox>(dialog, "CbxBP"))
        , baud(child<QComboBox>(dialog, "CbxBaud"))
        , save(child<QPushButton>(dialog, "BtnComSave"))
        , close(child<QPushButton>(dialog, "menuButton_Close"))
    { }

    bool isComplete() const { return port && portLabel && bp && baud && save && close; }

    QLineEdit *port;
    QLabel *portLabel;
    QComboBox *bp;
    QComboBox *baud;
    QPushButton *save;
    QPushButton *close;
};

bool writeConfig(const QByteArray &comEntries)
{
    return writeFileBytes(kConfigFile, "[com]\n" + comEntries);
}

bool showAndWait(QWidget &dialog)
{
    dialog.show();
    return QTest::qWaitForWindowExposed(&dialog);
}

QStringList items(const QComboBox &box)
{
    QStringList texts;
    for (int i = 0; i < box.count(); ++i)
        texts << box.itemText(i);
    return texts;
}

QTestEventList typed(const QString &text)
{
    QTestEventList events;
    events.addKeyClicks(text);
    return events;
}

QTestEventList pressed(Qt::Key key, int times = 1, const QString &thenTyped = QString())
{
    QTestEventList events;
    for (int i = 0; i < times; ++i)
        events.addKeyClick(key);
    events.addKeyClicks(thenTyped);
    return events;
}

// A style sheet rule's declarations with the blanks between them evened out, comments kept; an
// empty selector stands for a sheet without one. A null string when the sheet has no such rule.
QString sheetRule(const QString &sheet, const QString &selector)
{
    QString body;
    if (selector.isEmpty() && !sheet.contains(QLatin1Char('{'))) {
        body = sheet;
    } else {
        for (const QString &block : sheet.split(QLatin1Char('}'))) {
            const qsizetype brace = block.indexOf(QLatin1Char('{'));
            if (brace >= 0 && block.left(brace).trimmed() == selector)
                body = block.mid(brace + 1);
        }
        if (body.isNull())
            return QString();
    }
    static const QRegularExpression semicolon(QStringLiteral(";\\s*"));
    return body.simplified().replace(semicolon, QStringLiteral("; ")).trimmed();
}

QStringList sheetSelectors(const QString &sheet)
{
    QStringList selectors;
    for (const QString &block : sheet.split(QLatin1Char('}'))) {
        const qsizetype brace = block.indexOf(QLatin1Char('{'));
        if (brace >= 0)
            selectors << block.left(brace).trimmed();
    }
    return selectors;
}

// One aspect of a widget of the form as text, so that a single table can check them all.
QString describe(const QWidget &widget, const QString &aspect)
{
    if (aspect == QLatin1String("geometry")) {
        const QRect r = widget.geometry();
        return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }
    if (aspect == QLatin1String("size"))
        return QStringLiteral("%1,%2").arg(widget.width()).arg(widget.height());
    if (aspect == QLatin1String("sizePolicy")) {
        const QMetaEnum policy = QMetaEnum::fromType<QSizePolicy::Policy>();
        return QStringLiteral("%1,%2").arg(
            QLatin1String(policy.valueToKey(widget.sizePolicy().horizontalPolicy())),
            QLatin1String(policy.valueToKey(widget.sizePolicy().verticalPolicy())));
    }
    if (aspect == QLatin1String("pointSize"))
        return QString::number(widget.font().pointSize());
    if (aspect == QLatin1String("weight"))
        return widget.font().weight() == QFont::Normal ? QStringLiteral("normal")
                                                       : QString::number(widget.font().weight());
    if (aspect == QLatin1String("stacking")) {
        // A widget's children are kept from bottom to top.
        QStringList names;
        for (const QObject *object : widget.children()) {
            if (object->isWidgetType())
                names << object->objectName();
        }
        return names.join(QLatin1Char('|'));
    }
    if (aspect == QLatin1String("tabOrder")) {
        QStringList names;
        for (const QWidget *w = widget.nextInFocusChain(); w != &widget;
             w = w->nextInFocusChain()) {
            if (w->focusPolicy() & Qt::TabFocus)
                names << w->objectName();
        }
        return names.join(QLatin1Char('|'));
    }
    if (aspect == QLatin1String("selectors"))
        return sheetSelectors(widget.styleSheet()).join(QLatin1Char('|'));
    if (aspect.startsWith(QLatin1String("rule")))
        return sheetRule(widget.styleSheet(), aspect.mid(4).trimmed());

    const QMetaObject *meta = widget.metaObject();
    const QMetaProperty property = meta->property(meta->indexOfProperty(aspect.toLatin1()));
    const QVariant value = property.read(&widget);
    if (property.isEnumType())
        return QLatin1String(property.enumerator().valueToKey(value.toInt()));
    return value.toString();
}

// The settings dialog of the one main window alive: a top-level window of its own.
ConfigDialog *settingsDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<ConfigDialog *>(widget))
            return dialog;
    }
    return nullptr;
}

// What stands in the way of writing "config.ini".
enum class Obstacle { FolderNamedLikeFile, ReadOnlyFile, ReadOnlyFolder };

} // namespace

Q_DECLARE_METATYPE(Obstacle)

class tst_ConfigDialog : public QObject
{
    Q_OBJECT

private slots:
    // Loading
    void defaultsWithoutFile();
    void storedPort_data();
    void storedPort();
    void storedBp_data();
    void storedBp();
    void storedBaud_data();
    void storedBaud();

    // Typing the port
    void typingPort_data();
    void typingPort();
    void normalisingSignalsOnceMore_data();
    void normalisingSignalsOnceMore();

    // Accessors, saving and hiding
    void getBP_data();
    void getBP();
    void save_data();
    void save();
    void saveAfterUnknownBaudWrites1200();
    void shownAgainKeepsValues();
    void hideWithoutSaving_data();
    void hideWithoutSaving();
    void saveThatCannotWriteWarns_data();
    void saveThatCannotWriteWarns();

    // The form
    void setupUiNamesOnlyUnnamedDialog_data();
    void setupUiNamesOnlyUnnamedDialog();
    void formBeforeSettingsLoad();
    void form_data();
    void form();
    void sheetsParse();

    // Through the main window
    void mainDialogReadsConfigOnce();
    void mainDialogStartCreatesNoFile();
};

void tst_ConfigDialog::defaultsWithoutFile()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    {
        const ConfigDialog dialog(nullptr);
        const Form form(dialog);
        QVERIFY(form.isComplete());

        QCOMPARE(form.port->text(), QStringLiteral("0"));
        QCOMPARE(form.portLabel->text(), QStringLiteral("(HID)"));
        QCOMPARE(form.bp->currentText(), QStringLiteral("无"));
        QCOMPARE(form.baud->currentText(), QStringLiteral("9600"));
        QCOMPARE(dialog.getCom(), 0);
        QCOMPARE(dialog.getBP(), '\0');
        QCOMPARE(dialog.getBaud(), 9600);
    }
    QVERIFY(!QFile::exists(kConfigFile));
}

void tst_ConfigDialog::storedPort_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("label");

    QTest::newRow("0 is HID") << QByteArray("0") << "0"
                              << "(HID)";
    QTest::newRow("1 is ttyS0") << QByteArray("1") << "1"
                                << "(ttyS0)";
    QTest::newRow("100 is ttyS99") << QByteArray("100") << "100"
                                   << "(ttyS99)";
    QTest::newRow("250 shown though it cannot be typed") << QByteArray("250") << "250"
                                                         << "(ttyS249)";
    QTest::newRow("leading zeros dropped") << QByteArray("007") << "7"
                                           << "(ttyS6)";
    QTest::newRow("letters are 0") << QByteArray("abc") << "0"
                                   << "(HID)";
}

void tst_ConfigDialog::storedPort()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, field);
    QFETCH(QString, label);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeConfig("port=" + stored + "\n"));

    const ConfigDialog dialog(nullptr);
    const Form form(dialog);
    QVERIFY(form.isComplete());

    QCOMPARE(form.port->text(), field);
    QCOMPARE(form.portLabel->text(), label);
    QCOMPARE(dialog.getCom(), field.toInt());
}

void tst_ConfigDialog::storedBp_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("index");

    QTest::newRow("A") << QByteArray("A") << 1;
    QTest::newRow("a selects A") << QByteArray("a") << 1;
    QTest::newRow("b selects B") << QByteArray("b") << 2;
    QTest::newRow("C") << QByteArray("C") << 3;
    QTest::newRow("k selects K") << QByteArray("k") << 4;
    QTest::newRow("K") << QByteArray("K") << 4;
    QTest::newRow("0 is none") << QByteArray("0") << 0;
    QTest::newRow("D is none") << QByteArray("D") << 0;
    QTest::newRow("empty is none") << QByteArray("") << 0;
    QTest::newRow("two letters are none") << QByteArray("AB") << 0;
}

void tst_ConfigDialog::storedBp()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, index);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeConfig("bp=" + stored + "\n"));

    const ConfigDialog dialog(nullptr);
    const Form form(dialog);
    QVERIFY(form.isComplete());

    QCOMPARE(form.bp->currentIndex(), index);
}

void tst_ConfigDialog::storedBaud_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("shown");

    QTest::newRow("1200") << QByteArray("1200") << "1200";
    QTest::newRow("9600") << QByteArray("9600") << "9600";
    QTest::newRow("115200") << QByteArray("115200") << "115200";
    QTest::newRow("4800 leaves the first entry") << QByteArray("4800") << "1200";
    QTest::newRow("letters leave the first entry") << QByteArray("fast") << "1200";
}

void tst_ConfigDialog::storedBaud()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, shown);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeConfig("baud=" + stored + "\n"));

    const ConfigDialog dialog(nullptr);
    const Form form(dialog);
    QVERIFY(form.isComplete());

    QCOMPARE(form.baud->currentText(), shown);
    QCOMPARE(dialog.getBaud(), shown.toInt());
}

void tst_ConfigDialog::typingPort_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QTestEventList>("keys");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("label");

    QTest::newRow("deleting the only digit") << QByteArray("0") << pressed(Qt::Key_Backspace) << "0"
                                             << "(HID)";
    QTest::newRow("deleting every digit")
        << QByteArray("250") << pressed(Qt::Key_Backspace, 3) << "0"
        << "(HID)";
    QTest::newRow("3 behind the 0") << QByteArray("0") << typed("3") << "3"
                                    << "(ttyS2)";
    QTest::newRow("zeros before a digit") << QByteArray("0") << typed("007") << "7"
                                          << "(ttyS6)";
    QTest::newRow("100") << QByteArray("0") << typed("100") << "100"
                         << "(ttyS99)";
    QTest::newRow("101 stops at 10") << QByteArray("0") << typed("101") << "10"
                                     << "(ttyS9)";
    QTest::newRow("250 stops at 25") << QByteArray("0") << typed("250") << "25"
                                     << "(ttyS24)";
    QTest::newRow("1000 stops at 100") << QByteArray("0") << typed("1000") << "100"
                                       << "(ttyS99)";
    QTest::newRow("minus behind") << QByteArray("5") << typed("-") << "5"
                                  << "(ttyS4)";
    QTest::newRow("minus in front") << QByteArray("5") << pressed(Qt::Key_Home, 1, "-") << "5"
                                    << "(ttyS4)";
    QTest::newRow("letters") << QByteArray("5") << typed("ab") << "5"
                             << "(ttyS4)";
}

void tst_ConfigDialog::typingPort()
{
    QFETCH(QByteArray, stored);
    QFETCH(QTestEventList, keys);
    QFETCH(QString, field);
    QFETCH(QString, label);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeConfig("port=" + stored + "\n"));
    ConfigDialog dialog(nullptr);
    const Form form(dialog);
    QVERIFY(form.isComplete());
    QVERIFY(showAndWait(dialog));

    keys.simulate(form.port);

    QCOMPARE(form.port->text(), field);
    QCOMPARE(form.portLabel->text(), label);
    QCOMPARE(dialog.getCom(), field.toInt());
}

void tst_ConfigDialog::normalisingSignalsOnceMore_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QTestEventList>("keys");
    QTest::addColumn<QStringList>("changes");

    QTest::newRow("emptied field refilled")
        << QByteArray("0") << pressed(Qt::Key_Backspace) << QStringList {"", "0"};
    QTest::newRow("leading zero dropped")
        << QByteArray("0") << typed("3") << QStringList {"03", "3"};
    QTest::newRow("nothing to normalise") << QByteArray("1") << typed("2") << QStringList {"12"};
    QTest::newRow("refused key") << QByteArray("10") << typed("1") << QStringList();
}

void tst_ConfigDialog::normalisingSignalsOnceMore()
{
    QFETCH(QByteArray, stored);
    QFETCH(QTestEventList, keys);
    QFETCH(QStringList, changes);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeConfig("port=" + stored + "\n"));
    ConfigDialog dialog(nullptr);
    const Form form(dialog);
    QVERIFY(form.isComplete());
    QVERIFY(showAndWait(dialog));
    QSignalSpy spy(form.port, &QLineEdit::textChanged);

    keys.simulate(form.port);

    // The program's own change is signalled while the key's change is still being delivered, so
    // the order the spy sees says nothing; the texts do.
    QStringList seen;
    for (const QList<QVariant> &arguments : spy)
        seen << arguments.at(0).toString();
    seen.sort();
    changes.sort();
    QCOMPARE(seen, changes);
    // The program's own change leaves the cursor at the end, ready for the next digit.
    QCOMPARE(form.port->cursorPosition(), form.port->text().size());
}

void tst_ConfigDialog::getBP_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("byte");

    QTest::newRow("无 is 0") << 0 << 0;
    QTest::newRow("A is 65") << 1 << 65;
    QTest::newRow("B is 66") << 2 << 66;
    QTest::newRow("C is 67") << 3 << 67;
    QTest::newRow("K is 75") << 4 << 75;
}

void tst_ConfigDialog::getBP()
{
    QFETCH(int, index);
    QFETCH(int, byte);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    const ConfigDialog dialog(nullptr);
    const Form form(dialog);
    QVERIFY(form.isComplete());

    form.bp->setCurrentIndex(index);

    QCOMPARE(int(dialog.getBP()), byte);
}

void tst_ConfigDialog::save_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("bpIndex");
    QTest::addColumn<int>("baudIndex");
    QTest::addColumn<QString>("storedBp");
    QTest::addColumn<QString>("storedBaud");
    QTest::addColumn<QString>("line");

    QTest::newRow("no BP port writes 0")
        << "1" << 0 << 1 << "0"
        << "9600"
        << "\">>>保存内容: 端口（1），BP口（无），波特率（9600）\"";
    QTest::newRow("BP port B writes B")
        << "12" << 2 << 2 << "B"
        << "115200"
        << "\">>>保存内容: 端口（12），BP口（B），波特率（115200）\"";
    QTest::newRow("HID port with BP port K")
        << "0" << 4 << 0 << "K"
        << "1200"
        << "\">>>保存内容: 端口（0），BP口（K），波特率（1200）\"";
}

void tst_ConfigDialog::save()
{
    QFETCH(QString, port);
    QFETCH(int, bpIndex);
    QFETCH(int, baudIndex);
    QFETCH(QString, storedBp);
    QFETCH(QString, storedBaud);
    QFETCH(QString, line);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    ConfigDialog dialog(nullptr);
    const Form form(dialog);
    QVERIFY(form.isComplete());
    QVERIFY(showAndWait(dialog));
    QTest::keyClicks(form.port, port);
    form.bp->setCurrentIndex(bpIndex);
    form.baud->setCurrentIndex(baudIndex);
    const WarningFailure warnings(QRegularExpression(QStringLiteral("config\\.ini")));
    MessageCapture capture;

    QTest::mouseClick(form.save, Qt::LeftButton);

    QCOMPARE(capture.messages(), (QStringList {QStringLiteral("保存通讯配置"), line}));
    QVERIFY(!dialog.isVisible());
    const IniFileText file(kConfigFile);
    QCOMPARE(file.sections(), QStringList {kGroup});
    QCOMPARE(file.value(kGroup, QStringLiteral("port")), port);
    QCOMPARE(file.value(kGroup, QStringLiteral("bp")), storedBp);
    QCOMPARE(file.value(kGroup, QStringLiteral("baud")), storedBaud);
}

void tst_ConfigDialog::saveAfterUnknownBaudWrites1200()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeConfig("port=2\nbp=A\nbaud=4800\n"));
    ConfigDialog dialog(nullptr);
    const Form form(dialog);
    QVERIFY(form.isComplete());
    QVERIFY(showAndWait(dialog));

    QTest::mouseClick(form.save, Qt::LeftButton);

    const IniFileText file(kConfigFile);
    QCOMPARE(file.value(kGroup, QStringLiteral("baud")), QStringLiteral("1200"));
    QCOMPARE(file.value(kGroup, QStringLiteral("port")), QStringLiteral("2"));
    QCOMPARE(file.value(kGroup, QStringLiteral("bp")), QStringLiteral("A"));
}

void tst_ConfigDialog::shownAgainKeepsValues()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeConfig("port=2\nbp=A\nbaud=9600\n"));
    ConfigDialog dialog(nullptr);
    const Form form(dialog);
    QVERIFY(form.isComplete());
    QVERIFY(showAndWait(dialog));
    QTest::keyClicks(form.port, QStringLiteral("5"));
    form.bp->setCurrentIndex(3);
    form.baud->setCurrentIndex(2);
    QTest::mouseClick(form.save, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());

    QVERIFY(writeConfig("port=9\nbp=K\nbaud=1200\nextra=1\n"));
    QVERIFY(showAndWait(dialog));

    QCOMPARE(form.port->text(), QStringLiteral("25"));
    QCOMPARE(form.portLabel->text(), QStringLiteral("(ttyS24)"));
    QCOMPARE(form.bp->currentText(), QStringLiteral("C"));
    QCOMPARE(form.baud->currentText(), QStringLiteral("115200"));
    QCOMPARE(dialog.getCom(), 25);
    QCOMPARE(dialog.getBP(), 'C');
    QCOMPARE(dialog.getBaud(), 115200);
}

void tst_ConfigDialog::hideWithoutSaving_data()
{
    QTest::addColumn<bool>("escape");

    QTest::newRow("close button") << false;
    QTest::newRow("Escape key") << true;
}

void tst_ConfigDialog::hideWithoutSaving()
{
    QFETCH(bool, escape);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeConfig("port=2\nbp=A\nbaud=9600\n"));
    const QByteArray before = IniFileText(kConfigFile).bytes();
    ConfigDialog dialog(nullptr);
    const Form form(dialog);
    QVERIFY(form.isComplete());
    QVERIFY(showAndWait(dialog));
    form.baud->setCurrentIndex(2);
    MessageCapture capture;

    if (escape)
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        QTest::mouseClick(form.close, Qt::LeftButton);

    QVERIFY(!dialog.isVisible());
    QCOMPARE(capture.messages(), QStringList());
    QCOMPARE(IniFileText(kConfigFile).bytes(), before);
    QCOMPARE(dialog.getBaud(), 115200);
    QVERIFY(showAndWait(dialog));
    QCOMPARE(form.baud->currentText(), QStringLiteral("115200"));
}

void tst_ConfigDialog::saveThatCannotWriteWarns_data()
{
    QTest::addColumn<Obstacle>("obstacle");

    QTest::newRow("config.ini is a folder") << Obstacle::FolderNamedLikeFile;
    QTest::newRow("read-only file") << Obstacle::ReadOnlyFile;
    QTest::newRow("read-only folder") << Obstacle::ReadOnlyFolder;
}

void tst_ConfigDialog::saveThatCannotWriteWarns()
{
    QFETCH(Obstacle, obstacle);
    if (obstacle != Obstacle::FolderNamedLikeFile && !ReadOnlyPath::bindsThisProcess())
        QSKIP("Permissions do not stop this process (it runs as root); the folder named "
              "config.ini covers root.");
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    std::unique_ptr<ReadOnlyPath> readOnly;
    switch (obstacle) {
    case Obstacle::FolderNamedLikeFile:
        QVERIFY(QDir().mkdir(kConfigFile));
        break;
    case Obstacle::ReadOnlyFile:
        QVERIFY(writeConfig("port=2\n"));
        readOnly = std::make_unique<ReadOnlyPath>(kConfigFile);
        break;
    case Obstacle::ReadOnlyFolder:
        readOnly = std::make_unique<ReadOnlyPath>(folder.path());
        break;
    }
    QVERIFY(!readOnly || readOnly->isValid());
    const QByteArray before = IniFileText(kConfigFile).bytes();
    ConfigDialog dialog(nullptr);
    const Form form(dialog);
    QVERIFY(form.isComplete());
    QVERIFY(showAndWait(dialog));
    QTest::keyClicks(form.port, QStringLiteral("7"));
    MessageCapture capture;

    QTest::ignoreMessage(QtWarningMsg,
        qPrintable(QStringLiteral("save config.ini failed: could not write ")
            + QDir::current().absoluteFilePath(kConfigFile)));
    QTest::mouseClick(form.save, Qt::LeftButton);

    QCOMPARE(capture.messages().size(), 2);
    QCOMPARE(capture.messages().at(0), QStringLiteral("保存通讯配置"));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(IniFileText(kConfigFile).bytes(), before);
}

void tst_ConfigDialog::setupUiNamesOnlyUnnamedDialog_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("unnamed") << QString() << "ConfigDialog";
    QTest::newRow("already named") << "settings"
                                   << "settings";
}

void tst_ConfigDialog::setupUiNamesOnlyUnnamedDialog()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QDialog dialog;
    dialog.setObjectName(name);
    Ui_ConfigDialog form;

    form.setupUi(&dialog);

    QCOMPARE(dialog.objectName(), expected);
}

void tst_ConfigDialog::formBeforeSettingsLoad()
{
    QDialog dialog;
    Ui_ConfigDialog form;

    form.setupUi(&dialog);

    QCOMPARE(form.EditCom->text(), QStringLiteral("0"));
    QCOMPARE(form.LabelCom->text(), QStringLiteral("(HID)"));
    QCOMPARE(items(*form.CbxBaud), (QStringList {"1200", "9600", "115200"}));
    QCOMPARE(form.CbxBaud->currentIndex(), 0);
    QCOMPARE(items(*form.CbxBP), (QStringList {"无", "A", "B", "C", "K"}));
    QCOMPARE(form.CbxBP->currentIndex(), 0);
    QCOMPARE(dialog.size(), QSize(455, 299));
}

void tst_ConfigDialog::form_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("aspect");
    QTest::addColumn<QString>("expected");

    auto row = [](const char *tag, const char *name, const char *aspect, const char *expected) {
        QTest::newRow(tag) << QString::fromUtf8(name) << QString::fromUtf8(aspect)
                           << QString::fromUtf8(expected);
    };
    row("dialog size", "ConfigDialog", "size", "455,299");
    row("dialog title", "ConfigDialog", "windowTitle", "Dialog");
    row("top bar geometry", "widget_topBar", "geometry", "-1,-1,457,49");
    row("top bar frame", "widget_topBar", "frameShape", "StyledPanel");
    row("top bar shadow", "widget_topBar", "frameShadow", "Plain");
    row("top bar size policy", "widget_topBar", "sizePolicy", "Maximum,Preferred");
    row("close button geometry", "menuButton_Close", "geometry", "425,17,16,16");
    row("close button text", "menuButton_Close", "text", "");
    row("caption text", "label", "text", "通讯配置");
    row("caption weight", "label", "weight", "normal");
    row("group box geometry", "groupBox", "geometry", "14,61,421,186");
    row("group box title", "groupBox", "title", "");
    row("port caption text", "label_2", "text", "端口：");
    row("BP caption text", "label_4", "text", "BP口：");
    row("baud caption text", "label_3", "text", "波特率：");
    row("port field geometry", "EditCom", "geometry", "140,47,109,31");
    row("port field weight", "EditCom", "weight", "normal");
    row("port label geometry", "LabelCom", "geometry", "263,51,111,17");
    row("BP box geometry", "CbxBP", "geometry", "140,85,109,32");
    row("BP box font", "CbxBP", "pointSize", "14");
    row("BP box weight", "CbxBP", "weight", "normal");
    row("baud box geometry", "CbxBaud", "geometry", "140,124,109,31");
    row("baud box font", "CbxBaud", "pointSize", "14");
    row("save button geometry", "BtnComSave", "geometry", "327,254,108,35");
    row("save button font", "BtnComSave", "pointSize", "14");
    row("save button text", "BtnComSave", "text", "保存设置");
    row("group box raise order", "groupBox", "stacking",
        "label_2|label_3|EditCom|CbxBP|label_4|CbxBaud|LabelCom");
    row("tab order follows creation", "ConfigDialog", "tabOrder",
        "CbxBaud|EditCom|CbxBP|BtnComSave");
    row("dialog sheet rules", "ConfigDialog", "selectors",
        "QDialog|QComboBox|QComboBox::drop-down|QComboBox QAbstractItemView|"
        "QComboBox::item:selected|QLabel|QLineEdit|QPushButton|QPushButton:pressed");
    row("combo box background", "ConfigDialog", "rule QComboBox",
        "background-image: url(:/new/prefix1/res/combobox.png); background-color:transparent; "
        "border: 1px solid #434343; border-radius: 3px;");
    row("drop-down list and its comment", "ConfigDialog", "rule QComboBox QAbstractItemView",
        "border: 0px solid; background-color: #232323; /* 整个下拉窗体的背景色 */");
    row("dialog labels", "ConfigDialog", "rule QLabel",
        "font-size: 16px; font-weight: 400; text-align: right; color: #a2a2a2;");
    row("pressed buttons", "ConfigDialog", "rule QPushButton:pressed",
        "background: #232323; border: 1px solid #242424; border-radius: 5px; color: #aaaaaa;");
    row("top bar sheet", "widget_topBar", "rule QFrame", "background-color: rgb(29, 29, 29);");
    row("close button sheet", "menuButton_Close", "rule QPushButton",
        "background:url(:/new/prefix1/res/close_up.png); background-color:transparent; "
        "border: none;");
    row("hovered close button", "menuButton_Close", "rule QPushButton:hover",
        "background:url(:/new/prefix1/res/close_down.png); background-color:transparent;");
    row("group box sheet", "groupBox", "rule QGroupBox",
        "border: 1px solid #424242; border-radius: 3px;");
    row("caption sheet", "label", "rule", "color: rgb(159, 159, 159);");
    row("port label sheet", "LabelCom", "rule", "color: #8A8A8A;");
    row("port field sheet", "EditCom", "rule", "");
}

void tst_ConfigDialog::form()
{
    QFETCH(QString, name);
    QFETCH(QString, aspect);
    QFETCH(QString, expected);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    const ConfigDialog dialog(nullptr);
    const QWidget *widget
        = name == dialog.objectName() ? &dialog : dialog.findChild<QWidget *>(name);
    QVERIFY(widget);

    QCOMPARE(describe(*widget, aspect), expected);
}

void tst_ConfigDialog::sheetsParse()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    const WarningFailure warnings(QRegularExpression(QStringLiteral("Could not parse")));
    ConfigDialog dialog(nullptr);

    QVERIFY(showAndWait(dialog));
    for (QWidget *widget : dialog.findChildren<QWidget *>())
        widget->ensurePolished();

    // The sheet's background reaches the dialog only if it was read.
    QCOMPARE(dialog.palette().color(QPalette::Window), QColor(43, 43, 43));
}

void tst_ConfigDialog::mainDialogReadsConfigOnce()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeConfig("port=3\nbp=K\nbaud=1200\n"));
    MainDialog main;
    ConfigDialog *config = settingsDialog();
    QVERIFY(config);
    QVERIFY(!config->isVisible());
    QCOMPARE(main.getCom(), 3);
    QCOMPARE(main.getBP(), 'K');
    QCOMPARE(main.getBaud(), 1200);
    QVERIFY(writeConfig("port=8\nbp=B\nbaud=115200\nextra=1\n"));

    // Were the dialog run in an event loop of its own, this would end it and the test would fail
    // rather than hang.
    bool waited = false;
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, config, [&] {
        waited = true;
        config->reject();
    });
    guard.start(0);
    QVERIFY(QMetaObject::invokeMethod(&main, "on_pushButton_2_clicked"));
    guard.stop();

    QVERIFY(!waited);
    QVERIFY(config->isVisible());
    QCOMPARE(config->windowModality(), Qt::ApplicationModal);
    QCOMPARE(main.getCom(), 3);
    QCOMPARE(main.getBP(), 'K');
    QCOMPARE(main.getBaud(), 1200);
    config->hide();
}

void tst_ConfigDialog::mainDialogStartCreatesNoFile()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    {
        MainDialog main;
        QCOMPARE(main.getCom(), 0);
        QVERIFY(!QFile::exists(kConfigFile));
    }
    QVERIFY(!QFile::exists(kConfigFile));
}

QTEST_MAIN(tst_ConfigDialog)
#include "tst_configdialog.moc"
