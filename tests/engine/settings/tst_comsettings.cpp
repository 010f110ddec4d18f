// SPDX-License-Identifier: MIT
#include "engine/device/devicecalls.h"
#include "engine/settings/comsettings.h"
#include "fakedevice.h"
#include "gui/config/configdialog.h"
#include "inifiletext.h"
#include "workingfolder.h"

#include <QComboBox>
#include <QIntValidator>
#include <QLineEdit>
#include <QtTest>

namespace {

// A connection as one comparable text: port, BP letter or "-", baud.
QString described(const ComSettings &s)
{
    const QString bp = s.bp ? QString(QLatin1Char(s.bp)) : QStringLiteral("-");
    return QStringLiteral("%1 %2 %3").arg(QString::number(s.port), bp, QString::number(s.baud));
}

QString described(const std::optional<int> &value)
{
    return value ? QString::number(*value) : QString();
}

QString described(const std::optional<char> &value)
{
    return value ? (*value ? QString(QLatin1Char(*value)) : QStringLiteral("-")) : QString();
}

} // namespace

class tst_ComSettings : public QObject
{
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void saveReadsBack();
    void parse_data();
    void parse();
    void shown_data();
    void shown();
    void dialogOffersTheSameChoices();
};

void tst_ComSettings::load_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no file") << QByteArray() << "0 - 9600";
    QTest::newRow("all offered") << QByteArray("[com]\nport=7\nbp=B\nbaud=115200\n")
                                 << "7 B 115200";
    QTest::newRow("lower-case letter") << QByteArray("[com]\nbp=k\n") << "0 K 9600";
    QTest::newRow("letter not offered") << QByteArray("[com]\nbp=D\n") << "0 - 9600";
    QTest::newRow("two letters") << QByteArray("[com]\nbp=AB\n") << "0 - 9600";
    QTest::newRow("port beyond the range kept") << QByteArray("[com]\nport=250\n") << "250 - 9600";
    QTest::newRow("port not a number") << QByteArray("[com]\nport=abc\n") << "0 - 9600";
    QTest::newRow("baud not offered") << QByteArray("[com]\nbaud=4800\n") << "0 - 1200";
    QTest::newRow("baud empty") << QByteArray("[com]\nbaud=\n") << "0 - 1200";
}

void tst_ComSettings::load()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    if (!file.isNull())
        QVERIFY(writeFileBytes(path, file));

    QCOMPARE(described(loadComSettings(path)), expected);
}

// No BP port is stored as 0, which must read back as none rather than as a letter.
void tst_ComSettings::saveReadsBack()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    for (const ComSettings &settings : {ComSettings {3, 0, 115200}, ComSettings {100, 'K', 1200}}) {
        QVERIFY(saveComSettings(path, settings));
        QCOMPARE(described(loadComSettings(path)), described(settings));
    }
}

void tst_ComSettings::parse_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("text");
    // Empty when refused.
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("reason");

    const auto row = [](const char *option, const QString &text, const char *value,
                         const char *reason) {
        QTest::addRow("%s '%s'", option, qPrintable(text)) << option << text << value << reason;
    };
    const char portReason[] = " 不是可选的端口（0 到 100）";
    row("port", "0", "0", "");
    row("port", "007", "7", "");
    row("port", "101", "", "101 不是可选的端口（0 到 100）");
    row("port", "-1", "", portReason);
    row("port", "+5", "", portReason);
    row("port", "99999999999", "", portReason);
    row("port", "", "", "\"\" 不是可选的端口（0 到 100）");
    row("port", "%2", "", "%2 不是可选的端口（0 到 100）");
    row("baud", "115200", "115200", "");
    row("baud", "4800", "", "4800 不是可选的波特率（1200、9600、115200）");
    row("baud", "9600.0", "", " 不是可选的波特率（1200、9600、115200）");
    row("bp", "none", "-", "");
    row("bp", "NONE", "-", "");
    row("bp", "a", "A", "");
    row("bp", "D", "", "D 不是可选的 BP 口（none、A、B、C、K）");
    row("bp", "AB", "", " 不是可选的 BP 口（none、A、B、C、K）");
    row("bp", "", "", "\"\" 不是可选的 BP 口（none、A、B、C、K）");
}

void tst_ComSettings::parse()
{
    QFETCH(QString, option);
    QFETCH(QString, text);
    QFETCH(QString, value);
    QFETCH(QString, reason);
    QString why;
    QString parsed;
    if (option == QLatin1String("port"))
        parsed = described(parsePort(text, &why));
    else if (option == QLatin1String("baud"))
        parsed = described(parseBaud(text, &why));
    else
        parsed = described(parseBp(text, &why));

    QCOMPARE(parsed, value);
    // A reason starting with a blank stands for the text itself followed by it.
    QCOMPARE(why, reason.startsWith(QLatin1Char(' ')) ? text + reason : reason);
}

void tst_ComSettings::shown_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<char>("bp");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("open");

    QTest::newRow("HID") << 0 << ComSettings::kNoBp << 115200 << "HID，115200"
                         << R"(openDevice(0, 115200, "", 5))";
    QTest::newRow("HID with BP") << 0 << 'K' << 1200 << "HID，1200，BP：K"
                                 << R"(openDevice(0, 1200, "K", 5))";
    QTest::newRow("port 1 is ttyS0") << 1 << ComSettings::kNoBp << 9600 << "ttyS0，9600"
                                     << R"(openDevice(1, 9600, "", 5))";
    QTest::newRow("port 2 with BP") << 2 << 'A' << 9600 << "ttyS1，9600，BP：A"
                                    << R"(openDevice(2, 9600, "A", 5))";
}

void tst_ComSettings::shown()
{
    QFETCH(int, port);
    QFETCH(char, bp);
    QFETCH(int, baud);
    QFETCH(QString, text);
    QFETCH(QString, open);

    const ComSettings settings {port, bp, baud};
    QCOMPARE(connectionText(settings), text);
    ZOV_SDK sdk;
    FakeDevice::reset();
    FakeDevice::install(sdk);
    QCOMPARE(DeviceCalls::openOn(sdk, deviceConnection(settings)), 0);
    FakeDevice::uninstall(sdk);
    QCOMPARE(FakeDevice::calls(), QStringList {open});
}

// The form lists its choices itself; they must be the ones the command line accepts.
void tst_ComSettings::dialogOffersTheSameChoices()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    const ConfigDialog dialog(nullptr);
    const auto items = [&dialog](const char *name) {
        QStringList texts;
        if (const auto *box = dialog.findChild<QComboBox *>(QLatin1String(name))) {
            for (int i = 0; i < box->count(); ++i)
                texts << box->itemText(i);
        }
        return texts;
    };
    QStringList letters = {QStringLiteral("无")};
    for (char letter : ComSettings::kBpLetters)
        letters << QString(QLatin1Char(letter));
    QStringList bauds;
    for (int rate : ComSettings::kBauds)
        bauds << QString::number(rate);

    QCOMPARE(items("CbxBP"), letters);
    QCOMPARE(items("CbxBaud"), bauds);
    const auto *port = dialog.findChild<QLineEdit *>(QStringLiteral("EditCom"));
    const auto *range = port ? qobject_cast<const QIntValidator *>(port->validator()) : nullptr;
    QVERIFY(range);
    QCOMPARE(range->bottom(), ComSettings::kMinPort);
    QCOMPARE(range->top(), ComSettings::kMaxPort);
}

QTEST_MAIN(tst_ComSettings)
#include "tst_comsettings.moc"
