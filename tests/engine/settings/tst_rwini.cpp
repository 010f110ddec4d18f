// SPDX-License-Identifier: MIT
#include "engine/settings/rwini.h"
#include "inifiletext.h"
#include "messagecapture.h"
#include "readonlypath.h"
#include "workingfolder.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {

const QString kFile = QStringLiteral("config.ini");
const QString kGroup = QStringLiteral("com");

// Everything in the working folder, with contents, so that a test can tell that nothing was
// created, removed or changed there.
QStringList folderState(const QString &path)
{
    QStringList state;
    const QDir dir(path);
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &name : names) {
        const QByteArray bytes = IniFileText(dir.filePath(name)).bytes();
        state << name + QLatin1Char(':') + QString::fromUtf8(bytes);
    }
    return state;
}

// What stands in the way of writing the file.
enum class Obstacle {
    FolderNamedLikeFile,
    FileInPlaceOfFolder,
    ReadOnlyFile,
    ReadOnlyFolder,
    ReadOnlyFolderWithFile
};

} // namespace

Q_DECLARE_METATYPE(Obstacle)

class tst_RWIni : public QObject
{
    Q_OBJECT

private slots:
    void missingKeyGivesDefault_data();
    void missingKeyGivesDefault();
    void integerLoad_data();
    void integerLoad();
    void integerReadsBackAsText();
    void threeSavesMakeOneSection();
    void unknownEntriesSurvive_data();
    void unknownEntriesSurvive();
    void unparsableLineDoesNotFailSave();
    void readsWhatQSettingsWrote();
    void sizeLimit_data();
    void sizeLimit();
    void unwritableLocation_data();
    void unwritableLocation();
};

void tst_RWIni::missingKeyGivesDefault_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("no file") << false << QByteArray();
    QTest::newRow("empty file") << true << QByteArray();
    QTest::newRow("keys in another group")
        << true << QByteArray("[device]\nport=3\nbp=A\nbaud=1200\n");
    QTest::newRow("keys outside any group") << true << QByteArray("port=3\nbp=A\nbaud=1200\n");
    QTest::newRow("group without the keys") << true << QByteArray("[com]\nmodel=X1\n");
    QTest::newRow("keys differing in case")
        << true << QByteArray("[com]\nPort=3\nBP=A\nBaud=1200\n");
}

void tst_RWIni::missingKeyGivesDefault()
{
    QFETCH(bool, fileExists);
    QFETCH(QByteArray, contents);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    if (fileExists)
        QVERIFY(writeFileBytes(kFile, contents));
    const QStringList before = folderState(folder.path());

    // Defaults no loaded value could be mistaken for.
    QCOMPARE(RWIni::load(kFile, kGroup, QStringLiteral("port"), 7), 7);
    QCOMPARE(RWIni::load(kFile, kGroup, QStringLiteral("bp"), QStringLiteral("none")),
        QStringLiteral("none"));
    QCOMPARE(RWIni::load(kFile, kGroup, QStringLiteral("baud"), 9600), 9600);

    QCOMPARE(folderState(folder.path()), before);
}

void tst_RWIni::integerLoad_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("expected");

    QTest::newRow("digits") << QByteArray("5") << 5;
    QTest::newRow("negative") << QByteArray("-3") << -3;
    QTest::newRow("blanks around the digits") << QByteArray(" 12 ") << 12;
    QTest::newRow("letters") << QByteArray("abc") << 0;
    QTest::newRow("empty") << QByteArray("") << 0;
    QTest::newRow("digits then letters") << QByteArray("12ab") << 0;
    QTest::newRow("hexadecimal") << QByteArray("0x1f") << 0;
    QTest::newRow("fraction") << QByteArray("1.5") << 0;
    QTest::newRow("beyond the int range") << QByteArray("4294967297") << 0;
    QTest::newRow("list") << QByteArray("1,2") << 0;
}

void tst_RWIni::integerLoad()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, expected);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeFileBytes(kFile, "[com]\nport=" + stored + "\n"));

    // A default that differs from 0 shows that a present value never falls back to it.
    QCOMPARE(RWIni::load(kFile, kGroup, QStringLiteral("port"), 42), expected);
}

void tst_RWIni::integerReadsBackAsText()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());

    QVERIFY(RWIni::save(kFile, kGroup, QStringLiteral("bp"), 0));

    QCOMPARE(IniFileText(kFile).value(kGroup, QStringLiteral("bp")), QStringLiteral("0"));
    QCOMPARE(RWIni::load(kFile, kGroup, QStringLiteral("bp"), QString()), QStringLiteral("0"));
}

void tst_RWIni::threeSavesMakeOneSection()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());

    QVERIFY(RWIni::save(kFile, kGroup, QStringLiteral("port"), 1));
    QVERIFY(RWIni::save(kFile, kGroup, QStringLiteral("bp"), QStringLiteral("A")));
    QVERIFY(RWIni::save(kFile, kGroup, QStringLiteral("baud"), 115200));

    const IniFileText file(kFile);
    QCOMPARE(file.sections(), QStringList {kGroup});
    QStringList keys = file.keys(kGroup);
    keys.sort();
    QCOMPARE(keys, (QStringList {"baud", "bp", "port"}));
    QCOMPARE(file.value(kGroup, QStringLiteral("port")), QStringLiteral("1"));
    QCOMPARE(file.value(kGroup, QStringLiteral("bp")), QStringLiteral("A"));
    QCOMPARE(file.value(kGroup, QStringLiteral("baud")), QStringLiteral("115200"));

    QCOMPARE(RWIni::load(kFile, kGroup, QStringLiteral("port"), 0), 1);
    QCOMPARE(RWIni::load(kFile, kGroup, QStringLiteral("bp"), QString()), QStringLiteral("A"));
    QCOMPARE(RWIni::load(kFile, kGroup, QStringLiteral("baud"), 9600), 115200);
}

void tst_RWIni::unknownEntriesSurvive_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("group before com")
        << QByteArray("[device]\nmodel=X1\n\n[com]\nport=2\n") << "device"
        << "model"
        << "X1";
    QTest::newRow("group after com") << QByteArray("[com]\nport=2\n\n[log]\nlevel=3\n") << "log"
                                     << "level"
                                     << "3";
    QTest::newRow("key in com") << QByteArray("[com]\nport=2\ntimeout=30\n") << "com"
                                << "timeout"
                                << "30";
}

void tst_RWIni::unknownEntriesSurvive()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeFileBytes(kFile, contents));

    QVERIFY(RWIni::save(kFile, kGroup, QStringLiteral("bp"), QStringLiteral("K")));

    const IniFileText file(kFile);
    QCOMPARE(file.value(section, key), value);
    QCOMPARE(file.value(kGroup, QStringLiteral("port")), QStringLiteral("2"));
    QCOMPARE(file.value(kGroup, QStringLiteral("bp")), QStringLiteral("K"));
    QCOMPARE(file.sections().count(kGroup), 1);
}

void tst_RWIni::unparsableLineDoesNotFailSave()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeFileBytes(kFile, "[com]\nport=2\nnot an entry\n"));

    // QSettings flags the line it cannot read, yet writes the file: that is no failed save.
    QVERIFY(RWIni::save(kFile, kGroup, QStringLiteral("baud"), 1200));

    const IniFileText file(kFile);
    QCOMPARE(file.value(kGroup, QStringLiteral("baud")), QStringLiteral("1200"));
    QCOMPARE(file.value(kGroup, QStringLiteral("port")), QStringLiteral("2"));
}

void tst_RWIni::readsWhatQSettingsWrote()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    {
        QSettings settings(kFile, QSettings::IniFormat);
        settings.setValue(QStringLiteral("com/port"), 12);
        // Written in quotes, because of the comma.
        settings.setValue(QStringLiteral("com/bp"), QStringLiteral("A, B"));
    }

    QCOMPARE(RWIni::load(kFile, kGroup, QStringLiteral("port"), 0), 12);
    QCOMPARE(RWIni::load(kFile, kGroup, QStringLiteral("bp"), QString()), QStringLiteral("A, B"));
}

void tst_RWIni::sizeLimit_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("used");

    QTest::newRow("64 KiB is read and replaced") << 65536 << true;
    QTest::newRow("a byte more is left alone") << 65537 << false;
}

void tst_RWIni::sizeLimit()
{
    QFETCH(int, size);
    QFETCH(bool, used);
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    // A comment line pads the file to its size.
    QByteArray bytes("[com]\nport=3\nbp=A\n;");
    bytes += QByteArray(size - bytes.size() - 1, 'x') + '\n';
    QVERIFY(writeFileBytes(kFile, bytes));
    WarningFailure warnings(QRegularExpression(QStringLiteral("config\\.ini")));
    if (!used) {
        const QString sizeText = QStringLiteral(": %1 bytes, more than 65536").arg(size);
        const QString path = QDir::current().absoluteFilePath(kFile);
        warnings.ignoreMessage("not reading " + path + sizeText);
        warnings.ignoreMessage("not reading " + path + sizeText);
        warnings.ignoreMessage("not replacing " + path + sizeText);
    }

    QCOMPARE(RWIni::load(kFile, kGroup, QStringLiteral("port"), 42), used ? 3 : 42);
    QCOMPARE(RWIni::load(kFile, kGroup, QStringLiteral("bp"), QStringLiteral("none")),
        used ? QStringLiteral("A") : QStringLiteral("none"));
    QCOMPARE(RWIni::save(kFile, kGroup, QStringLiteral("port"), 5), used);

    if (used)
        QCOMPARE(IniFileText(kFile).value(kGroup, QStringLiteral("port")), QStringLiteral("5"));
    else
        QCOMPARE(IniFileText(kFile).bytes(), bytes);
}

void tst_RWIni::unwritableLocation_data()
{
    QTest::addColumn<Obstacle>("obstacle");
    QTest::addColumn<QString>("file");

    QTest::newRow("config.ini is a folder") << Obstacle::FolderNamedLikeFile << kFile;
    QTest::newRow("folder is a file") << Obstacle::FileInPlaceOfFolder << "blocker/config.ini";
    QTest::newRow("read-only file") << Obstacle::ReadOnlyFile << kFile;
    QTest::newRow("read-only folder") << Obstacle::ReadOnlyFolder << kFile;
    QTest::newRow("read-only folder holding the file") << Obstacle::ReadOnlyFolderWithFile << kFile;
}

void tst_RWIni::unwritableLocation()
{
    QFETCH(Obstacle, obstacle);
    QFETCH(QString, file);
    const bool needsPermissions = obstacle == Obstacle::ReadOnlyFile
        || obstacle == Obstacle::ReadOnlyFolder || obstacle == Obstacle::ReadOnlyFolderWithFile;
    if (needsPermissions && !ReadOnlyPath::bindsThisProcess())
        QSKIP("Permissions do not stop this process (it runs as root); the rows that put something "
              "in the way of the file cover root.");

    WorkingFolder folder;
    QVERIFY(folder.isValid());
    const QByteArray contents("[com]\nport=2\n");
    std::unique_ptr<ReadOnlyPath> readOnly;
    switch (obstacle) {
    case Obstacle::FolderNamedLikeFile:
        QVERIFY(QDir().mkdir(kFile));
        break;
    case Obstacle::FileInPlaceOfFolder:
        QVERIFY(writeFileBytes(QStringLiteral("blocker"), contents));
        break;
    case Obstacle::ReadOnlyFile:
        QVERIFY(writeFileBytes(kFile, contents));
        readOnly = std::make_unique<ReadOnlyPath>(kFile);
        break;
    case Obstacle::ReadOnlyFolderWithFile:
        QVERIFY(writeFileBytes(kFile, contents));
        readOnly = std::make_unique<ReadOnlyPath>(folder.path());
        break;
    case Obstacle::ReadOnlyFolder:
        readOnly = std::make_unique<ReadOnlyPath>(folder.path());
        break;
    }
    QVERIFY(!readOnly || readOnly->isValid());
    const QStringList before = folderState(folder.path());

    QVERIFY(!RWIni::save(file, kGroup, QStringLiteral("port"), 9));
    QVERIFY(!RWIni::save(file, kGroup, QStringLiteral("bp"), QStringLiteral("A")));

    QCOMPARE(folderState(folder.path()), before);
}

QTEST_GUILESS_MAIN(tst_RWIni)
#include "tst_rwini.moc"
