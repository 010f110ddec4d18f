// SPDX-License-Identifier: MIT
// The tool started from a working folder that holds the wrong things: a device library that is
// no library, a "config.ini" that is no settings file, or a folder that cannot be written.
#include "gui/config/configdialog.h"
#include "gui/shell/maindialog.h"
#include "messagecapture.h"
#include "qtcompat.h"
#include "workingfolder.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

namespace {

const char kLibrary[] = "lib/libvarnak_c.so";
const char kConfigFile[] = "config.ini";
// The largest config.ini the tool reads or replaces.
constexpr int kMaxConfigSize = 64 * 1024;
const char *const kButtons[]
    = {"BtnOpenDevice", "BtnCloseDevice", "BtnSendCard", "BtnRecycleCard", "BtnSendCard10"};

// Where the ELF header keeps the word size and the machine; see <elf.h>.
constexpr int kElfClassOffset = 4;
constexpr char kElfClass32 = 1;
constexpr int kElfMachineOffset = 18;
constexpr char kElfMachineAarch64 = char(183);

QByteArray simulatorBytes()
{
    QFile file(QStringLiteral(SIM_LIBRARY_PATH));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList logLines(const MainDialog &dialog)
{
    const QString text
        = dialog.findChild<QPlainTextEdit *>(QStringLiteral("EditLog"))->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

void pressAll(const MainDialog &dialog)
{
    for (const char *name : kButtons)
        dialog.findChild<QPushButton *>(QLatin1String(name))->click();
}

// Permissions do not bind root, who runs CI: for as long as this lives the process acts as the
// user nobody, so that a read-only folder really is read-only; it is root again afterwards.
class ActingAsNobody
{
public:
    ActingAsNobody()
    {
        const passwd *nobody = getpwnam("nobody");
        m_switched = geteuid() == 0 && nobody && setegid(nobody->pw_gid) == 0
            && seteuid(nobody->pw_uid) == 0;
    }
    ~ActingAsNobody()
    {
        if (m_switched && (seteuid(0) != 0 || setegid(0) != 0))
            qFatal("cannot return to root");
    }
    ActingAsNobody(const ActingAsNobody &) = delete;
    ActingAsNobody &operator=(const ActingAsNobody &) = delete;

private:
    bool m_switched = false;
};

} // namespace

class tst_MainDialogBadInput : public QObject
{
    Q_OBJECT

private slots:
    void libraryThatIsNotOne_data();
    void libraryThatIsNotOne();
    void configThatIsNotOne_data();
    void configThatIsNotOne();
    void configThatIsAFolder();
    void readOnlyWorkingFolder();
};

void tst_MainDialogBadInput::libraryThatIsNotOne_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray simulator = simulatorBytes();
    QVERIFY(simulator.startsWith("\x7f"
                                 "ELF"));
    QTest::newRow("text file") << QByteArray("openDevice closeDevice getStatus\n");
    QTest::newRow("empty file") << QByteArray();
    // The simulator with its header changed, as a build for another machine would have it.
    QTest::newRow("library for aarch64")
        << QByteArray(simulator).replace(kElfMachineOffset, 1, &kElfMachineAarch64, 1);
    QTest::newRow("library for 32 bits")
        << QByteArray(simulator).replace(kElfClassOffset, 1, &kElfClass32, 1);
}

// Refused like a missing library: the window opens and every button answers that it has none.
void tst_MainDialogBadInput::libraryThatIsNotOne()
{
    QFETCH(QByteArray, bytes);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(QDir().mkpath(QStringLiteral("lib")));
    QVERIFY(writeFile(kLibrary, bytes));

    MessageCapture capture;
    MainDialog dialog;
    QCOMPARE(capture.messages(),
        QStringList({"start load so", "open so failed", "load libvarnak_c.so failed"}));
    QVERIFY(!dialog.sdk()->pOpenDevice);
    pressAll(dialog);
    QCOMPARE(logLines(dialog),
        QtCompat::repeated(int(std::size(kButtons)), QStringLiteral(">>not found sdk")));
}

void tst_MainDialogBadInput::configThatIsNotOne_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("replaced");

    QByteArray garbage;
    for (int i = 0; i < 1024; ++i)
        garbage += char((i * 167 + 13) % 256);
    const QByteArray simulator = simulatorBytes();
    QTest::newRow("binary garbage") << garbage << true;
    QTest::newRow("NUL bytes") << QByteArray(4096, '\0') << true;
    // Too large to be a settings file the tool wrote, so it is kept as it is. Padded in case a
    // build makes the library smaller than that.
    QTest::newRow("the ELF library")
        << QByteArray(simulator).leftJustified(kMaxConfigSize + 1, '\0') << false;
}

// The defaults are shown, and a save stores the settings for the next start unless the file is
// too large to be replaced.
void tst_MainDialogBadInput::configThatIsNotOne()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, replaced);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeFile(kConfigFile, bytes));
    {
        MainDialog dialog;
        QCOMPARE(dialog.getCom(), 0);
        QCOMPARE(dialog.getBP(), '\0');
        QCOMPARE(dialog.getBaud(), 9600);
    }
    {
        ConfigDialog settings(nullptr);
        settings.findChild<QLineEdit *>(QStringLiteral("EditCom"))->setText(QStringLiteral("7"));
        settings.findChild<QPushButton *>(QStringLiteral("BtnComSave"))->click();
    }
    MainDialog dialog;
    QCOMPARE(dialog.getCom(), replaced ? 7 : 0);
    QCOMPARE(dialog.getBaud(), 9600);
    if (!replaced) {
        QFile file(kConfigFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
    }
}

// The defaults are shown; the save's failure is the settings dialog's own test.
void tst_MainDialogBadInput::configThatIsAFolder()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(QDir().mkpath(QStringLiteral("config.ini/com")));
    MainDialog dialog;
    QCOMPARE(dialog.getCom(), 0);
    QCOMPARE(dialog.getBP(), '\0');
    QCOMPARE(dialog.getBaud(), 9600);
}

// The tool only reads its working folder: it starts, loads its settings and its library and runs
// a test there; only a save fails, with its warning, and leaves the file as it was.
void tst_MainDialogBadInput::readOnlyWorkingFolder()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(QDir().mkpath(QStringLiteral("lib")));
    // A copy, not a link into the build folder, which the user nobody may not be able to read.
    QVERIFY(QFile::copy(QStringLiteral(SIM_LIBRARY_PATH), kLibrary));
    const QByteArray stored("[com]\nport=3\nbp=B\nbaud=115200\n");
    QVERIFY(writeFile(kConfigFile, stored));
    const QFileDevice::Permissions readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner
        | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
        | QFileDevice::ExeOther;
    QVERIFY(QFile::setPermissions(folder.filePath("lib"), readOnly));
    QVERIFY(QFile::setPermissions(folder.path(), readOnly));
    {
        const ActingAsNobody nobody;
        if (QFile probe(QStringLiteral("probe")); probe.open(QIODevice::WriteOnly))
            QSKIP("The folder cannot be made read-only for this process.");

        MainDialog dialog;
        QVERIFY(dialog.sdk()->pOpenDevice);
        QCOMPARE(dialog.getCom(), 3);
        QCOMPARE(dialog.getBP(), 'B');
        QCOMPARE(dialog.getBaud(), 115200);
        dialog.findChild<QPushButton *>(QStringLiteral("BtnSendCard"))->click();
        QTRY_VERIFY(logLines(dialog).contains(QStringLiteral(">>>发卡测试完成")));

        ConfigDialog settings(nullptr);
        settings.findChild<QLineEdit *>(QStringLiteral("EditCom"))->setText(QStringLiteral("7"));
        QTest::ignoreMessage(QtWarningMsg,
            qPrintable("save config.ini failed: could not write "
                + QDir::current().absoluteFilePath(kConfigFile)));
        settings.findChild<QPushButton *>(QStringLiteral("BtnComSave"))->click();
    }
    QVERIFY(QFile::setPermissions(folder.path(), readOnly | QFileDevice::WriteOwner));
    QFile file(kConfigFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), stored);
    QCOMPARE(QDir().entryList(QDir::Files), QStringList {kConfigFile});
}

QTEST_MAIN(tst_MainDialogBadInput)
#include "tst_maindialog_badinput.moc"
