// SPDX-License-Identifier: MIT
#include "config/initext.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// What QSettings reads for key once it has read the whole file, from a file it has never seen
// (it keeps files it has read, and two files written within a millisecond can look the same).
QVariant qsettingsValue(const QByteArray &bytes, const QString &key)
{
    static QTemporaryDir folder;
    static int count = 0;
    const QString path = folder.filePath(QStringLiteral("settings-%1.ini").arg(++count));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QStringLiteral("<not written>");
    file.close();
    QSettings settings(path, QSettings::IniFormat);
    settings.allKeys();
    return settings.value(key, QStringLiteral("<absent>"));
}

const QByteArray kStreamedInt("@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)");

} // namespace

class tst_IniText : public QObject
{
    Q_OBJECT

private slots:
    void readsAsQSettings_data();
    void readsAsQSettings();
    void streamedValuesStayText_data();
    void streamedValuesStayText();
    void overriddenStreamedValueStillCounts();
    void editChangesOnlyItsValue_data();
    void editChangesOnlyItsValue();
    void stringsReadBackAsWritten_data();
    void stringsReadBackAsWritten();
    void brokenFileIsWrittenAnew_data();
    void brokenFileIsWrittenAnew();
    void editThatWouldNotReadBackIsRefused();
    void fullKey_data();
    void fullKey();
};

void tst_IniText::readsAsQSettings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected"); // null: absent

    const QString com = QStringLiteral("com/port");
    QTest::newRow("plain") << QByteArray("[com]\nport=5\n") << com << "5";
    QTest::newRow("blanks around key and value")
        << QByteArray("[com]\n  port  =  5  \t\n") << com << "5";
    QTest::newRow("quotes keep blanks") << QByteArray("[com]\nport=\" 5 \"\n") << com << " 5 ";
    QTest::newRow("comment after the value") << QByteArray("[com]\nport=5 ; five\n") << com << "5";
    QTest::newRow("semicolon in quotes") << QByteArray("[com]\nport=\"a;b\"\n") << com << "a;b";
    QTest::newRow("comment line") << QByteArray("[com]\n;port=5\n") << com << QString();
    QTest::newRow("escapes") << QByteArray("[com]\nport=a\\tb\\x41\\101\\q\\n\n") << com
                             << "a\tbAA\n";
    QTest::newRow("long hex escape keeps 16 bits")
        << QByteArray("[com]\nport=\\x10041\n") << com << "A";
    QTest::newRow("backslash joins lines") << QByteArray("[com]\nport=a\\\nb\n") << com << "ab";
    QTest::newRow("quotes span lines")
        << QByteArray("[com]\nport=\"a\n[x]\ny=1\"\n") << com << "a\n[x]\ny=1";
    QTest::newRow("split UTF-8 around an escape")
        << QByteArray("[com]\nport=\xe4\\n\xb8\xad\n") << com << QStringLiteral("\n中");
    QTest::newRow("only blanks are trimmed")
        << QByteArray("[com]\nport=\xc4\xa0\n") << com << QStringLiteral("\u0120");
    QTest::newRow("list has no text") << QByteArray("[com]\nport=1, 2\n") << com << "";
    QTest::newRow("double @ is one") << QByteArray("[com]\nport=@@5\n") << com << "@5";
    QTest::newRow("@String") << QByteArray("[com]\nport=@String(5)\n") << com << "5";
    QTest::newRow("@ByteArray") << QByteArray("[com]\nport=@ByteArray(5)\n") << com << "5";
    QTest::newRow("@Rect has no text") << QByteArray("[com]\nport=@Rect(1 2 3 4)\n") << com << "";
    QTest::newRow("@Rect short of a number stays text")
        << QByteArray("[com]\nport=@Rect(1 2 3)\n") << com << "@Rect(1 2 3)";
    QTest::newRow("@Invalid") << QByteArray("[com]\nport=@Invalid()\n") << com << "";
    QTest::newRow("CRLF") << QByteArray("[com]\r\nport=5\r\n") << com << "5";
    QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf[com]\nport=5\n") << com << "5";
    QTest::newRow("byte order mark before a key outside any section")
        << QByteArray("\xef\xbb\xbfport=5\n") << "port"
        << "5";
    QTest::newRow("[General] is no section")
        << QByteArray("[com]\nport=1\n[general]\nport=5\n") << "port"
        << "5";
    QTest::newRow("[%General] is one") << QByteArray("[%General]\nport=5\n") << "General/port"
                                       << "5";
    QTest::newRow("percent escapes in a key") << QByteArray("[com]\np%6Frt=5\n") << com << "5";
    QTest::newRow("backslash in a section") << QByteArray("[com\\sub]\nport=5\n") << "com/sub/port"
                                            << "5";
    QTest::newRow("backslash in a key") << QByteArray("[com]\nsub\\port=5\n") << "com/sub/port"
                                        << "5";
    QTest::newRow("header without bracket") << QByteArray("[com\nport=5\n") << com << "5";
    QTest::newRow("later key wins") << QByteArray("[com]\nport=1\nport=2\n") << com << "2";
    QTest::newRow("section written twice")
        << QByteArray("[com]\nport=1\n[x]\ny=2\n[com]\nport=3\n") << com << "3";
    QTest::newRow("section names, not file order, decide between sections")
        << QByteArray("[a\\b]\nc=1\n[a]\nb\\c=2\n") << "a/b/c"
        << "1";
    QTest::newRow("a nested section does not hide its parent")
        << QByteArray("[com]\nport=5\n[com\\a]\nx=1\n") << com << "5";
    QTest::newRow("case matters") << QByteArray("[COM]\nport=5\n") << com << QString();
    QTest::newRow("line without equals") << QByteArray("[com]\nport\nbaud=1\n") << com << QString();
    const char binary[] = "\x00\xff\n[com]\x01\nport=\xff\xfe\n";
    QTest::newRow("binary") << QByteArray(binary, sizeof binary - 1) << com
                            << QStringLiteral("\ufffd\ufffd");
}

void tst_IniText::readsAsQSettings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    const IniText text(bytes);

    QCOMPARE(text.text(key).has_value(), !expected.isNull());
    QCOMPARE(text.text(key).value_or(QString()), expected);
    QCOMPARE(qsettingsValue(bytes, key).toString(),
        expected.isNull() ? QStringLiteral("<absent>") : expected);
}

void tst_IniText::streamedValuesStayText_data()
{
    QTest::addColumn<QByteArray>("value");

    // An int 5, as QSettings writes an int it has no text form for.
    QTest::newRow("int") << kStreamedInt;
    // A pixmap and a cursor: QSettings would build them, which aborts without a GUI application.
    QTest::newRow("pixmap") << QByteArray("@Variant(\\0\\0\\0\\x41)");
    QTest::newRow("cursor") << QByteArray("@Variant(\\0\\0\\0J)");
    // A list claiming four thousand million strings: QSettings would reserve room for them.
    QTest::newRow("huge list") << QByteArray("@Variant(\\0\\0\\0\\v\\xff\\xff\\xff\\xf0)");
    QTest::newRow("date and time") << QByteArray("@DateTime(\\0\\0\\0\\x41)");
    QTest::newRow("in a list") << QByteArray("1, @Variant(\\0\\0\\0\\x41)");
    QTest::newRow("quoted") << QByteArray("\"@Variant(\\0\\0\\0\\x41)\"");
    QTest::newRow("escaped @") << QByteArray("\\x40Variant(\\0\\0\\0\\x41)");
}

void tst_IniText::streamedValuesStayText()
{
    QFETCH(QByteArray, value);
    const QByteArray bytes = "[com]\nport=" + value + "\n";
    const QString key = QStringLiteral("com/port");

    IniText text(bytes);

    QVERIFY(text.isStreamed(key));
    QVERIFY(text.hasStreamedValues());
    QCOMPARE(text.text(key), QString());
    QVERIFY(text.setValue(QStringLiteral("com/bp"), QStringLiteral("A")));
    QCOMPARE(text.bytes(), "[com]\nport=" + value + "\nbp=A\n");
}

void tst_IniText::overriddenStreamedValueStillCounts()
{
    // QSettings decodes every line it reads, also one that a later line for the same key
    // overrides.
    const IniText text("[com]\nport=" + kStreamedInt + "\nport=1\n");

    QVERIFY(!text.isStreamed(QStringLiteral("com/port")));
    QVERIFY(text.hasStreamedValues());
    QVERIFY(!IniText("[com]\nport=@@Variant(1)\n").hasStreamedValues());
}

void tst_IniText::editChangesOnlyItsValue_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("empty file") << QByteArray() << "com/port"
                                << "1" << QByteArray("[com]\nport=1\n");
    QTest::newRow("replaced where it stands, comment kept")
        << QByteArray("[log]\nx=1\n[com]\nport=1 ; serial\nbaud=9600\n") << "com/port"
        << "12" << QByteArray("[log]\nx=1\n[com]\nport=12 ; serial\nbaud=9600\n");
    QTest::newRow("added after the section's last line")
        << QByteArray("[com]\nport=1 ;serial\n\n[log]\nlevel=3\n") << "com/bp"
        << "A" << QByteArray("[com]\nport=1 ;serial\nbp=A\n\n[log]\nlevel=3\n");
    QTest::newRow("blanks around the value kept")
        << QByteArray("[com]\nport =  1  \n") << "com/port"
        << "2" << QByteArray("[com]\nport =  2  \n");
    QTest::newRow("new section a blank line apart")
        << QByteArray("[log]\nlevel=3") << "com/port"
        << "1" << QByteArray("[log]\nlevel=3\n\n[com]\nport=1\n");
    QTest::newRow("section without lines") << QByteArray("[com]\n[log]\nx=1\n") << "com/port"
                                           << "1" << QByteArray("[com]\nport=1\n[log]\nx=1\n");
    QTest::newRow("section header at the end") << QByteArray("[com]") << "com/port"
                                               << "1" << QByteArray("[com]\nport=1\n");
    QTest::newRow("the line that counts among duplicates")
        << QByteArray("[com]\nport=1\n[x]\ny=1\n[com]\nport=2\n") << "com/port"
        << "3" << QByteArray("[com]\nport=1\n[x]\ny=1\n[com]\nport=3\n");
    QTest::newRow("added to the later run of a section")
        << QByteArray("[com]\nport=1\n[x]\ny=1\n[com]\nbaud=2\n") << "com/bp"
        << "A" << QByteArray("[com]\nport=1\n[x]\ny=1\n[com]\nbaud=2\nbp=A\n");
    QTest::newRow("CRLF kept") << QByteArray("[com]\r\nport=1\r\n") << "com/port"
                               << "2" << QByteArray("[com]\r\nport=2\r\n");
    QTest::newRow("byte order mark kept") << QByteArray("\xef\xbb\xbf[com]\nport=1\n") << "com/port"
                                          << "2" << QByteArray("\xef\xbb\xbf[com]\nport=2\n");
    QTest::newRow("value over several lines replaced whole")
        << QByteArray("[com]\nbp=\"a\nb\"\nport=1\n") << "com/bp"
        << "K" << QByteArray("[com]\nbp=K\nport=1\n");
    QTest::newRow("key outside any section goes first")
        << QByteArray("[com]\nport=1\n") << "model"
        << "X" << QByteArray("model=X\n[com]\nport=1\n");
    QTest::newRow("section named like no section") << QByteArray() << "general/port"
                                                   << "1" << QByteArray("[%general]\nport=1\n");
    QTest::newRow("key and section escaped") << QByteArray() << QStringLiteral("串口/a b") << "1"
                                             << QByteArray("[%U4E32%U53E3]\na%20b=1\n");
    QTest::newRow("value quoted") << QByteArray() << "com/bp"
                                  << " a;b " << QByteArray("[com]\nbp=\" a;b \"\n");
}

void tst_IniText::editChangesOnlyItsValue()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    IniText text(before);

    QVERIFY(text.setValue(key, value));

    QCOMPARE(text.bytes(), after);
    QCOMPARE(qsettingsValue(after, key).toString(), value);
}

void tst_IniText::stringsReadBackAsWritten_data()
{
    QTest::addColumn<QString>("value");

    QTest::newRow("empty") << QString();
    QTest::newRow("blank first") << " a";
    QTest::newRow("blank last") << "a ";
    QTest::newRow("comma") << "a,b";
    QTest::newRow("semicolon") << "a;b";
    QTest::newRow("equals") << "a=b";
    QTest::newRow("quotes") << "\"q\"";
    QTest::newRow("backslash") << "back\\slash";
    QTest::newRow("@ first") << "@x";
    QTest::newRow("@@ first") << "@@x";
    QTest::newRow("looks streamed") << "@Variant(\\0\\0\\0\\x41)";
    QTest::newRow("NUL before a digit") << QString::fromLatin1("a\0"
                                                               "1",
        3);
    QTest::newRow("control before a hex digit") << "\x01"
                                                   "f";
    QTest::newRow("tab and line break") << "a\tb\nc\r";
    QTest::newRow("Chinese") << QStringLiteral("无");
    QTest::newRow("beyond 16 bits") << QStringLiteral("\U0001F600");
    QTest::newRow("delete") << "x\x7f";
}

void tst_IniText::stringsReadBackAsWritten()
{
    QFETCH(QString, value);
    const QString key = QStringLiteral("com/bp");
    IniText text(QByteArrayLiteral("[com]\nport=1\n"));

    QVERIFY(text.setValue(key, value));

    QCOMPARE(text.text(key), value);
    QCOMPARE(text.text(QStringLiteral("com/port")), QStringLiteral("1"));
    QCOMPARE(qsettingsValue(text.bytes(), key).toString(), value);
}

void tst_IniText::brokenFileIsWrittenAnew_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    // The new line would be swallowed by what comes before it; what the file holds survives
    // in the layout QSettings writes.
    QTest::newRow("quote left open in another section") << QByteArray(
        "; note\n[log]\nx=\"open\n") << QByteArray("[com]\nport=1\n\n[log]\nx=open\\n\n");
    QTest::newRow("quote left open in the section")
        << QByteArray("[com]\nx=\"a,b\n") << QByteArray("[com]\nport=1\nx=\"a,b\\n\"\n");
    QTest::newRow("backslash at the very end")
        << QByteArray("[com]\nx=1, @Rect(1 2 3 4), \xe4\xb8\xad\\")
        << QByteArray("[com]\nport=1\nx=1, @Rect(1 2 3 4), \xe4\xb8\xad\n");
    QTest::newRow("streamed and Latin-1 values")
        << QByteArray("[com]\nx=@Variant(\\0\\0\\0\\x41)\ny=@ByteArray(\xff)\nz=\"")
        << QByteArray("[com]\nport=1\nx=@Variant(\\0\\0\\0\\x41)\ny=@ByteArray(\\xfffd)\nz=\n");
    QTest::newRow("half a surrogate pair")
        << QByteArray("[com]\nx=\\xd800\ny=\"") << QByteArray("[com]\nport=1\nx=\\xd800\ny=\n");
}

void tst_IniText::brokenFileIsWrittenAnew()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    IniText text(before);
    const QStringList keys = text.keys();

    QVERIFY(text.setValue(QStringLiteral("com/port"), 1));

    QCOMPARE(text.bytes(), after);
    for (const QString &key : keys)
        QCOMPARE(IniText(after).text(key), IniText(before).text(key));
}

void tst_IniText::editThatWouldNotReadBackIsRefused()
{
    // A section named "/com" holds a key that QSettings' own layout cannot write back.
    const QByteArray before("[%2Fcom]\nport=1\n[log]\nx=\"open\n");
    IniText text(before);

    QVERIFY(!text.setValue(QStringLiteral("com/port"), 2));

    QCOMPARE(text.bytes(), before);
    QVERIFY(!text.text(QStringLiteral("com/port")));
}

void tst_IniText::fullKey_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("group and key") << "com"
                                   << "port"
                                   << "com/port";
    QTest::newRow("no group") << ""
                              << "port"
                              << "port";
    QTest::newRow("stray slashes") << "/com//sub/"
                                   << "/port/"
                                   << "com/sub/port";
}

void tst_IniText::fullKey()
{
    QFETCH(QString, group);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    QCOMPARE(IniText::fullKey(group, key), expected);
}

QTEST_GUILESS_MAIN(tst_IniText)
#include "tst_initext.moc"
