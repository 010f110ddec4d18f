// SPDX-License-Identifier: MIT
#include "qtcompat.h"

#include <QtTest>

// The tool writes its Chinese texts as narrow literals; they must become the same text as the
// UTF-16 form under any locale, and go out as UTF-8 bytes.
class tst_Encoding : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void narrowLiteralEqualsUtf16_data();
    void narrowLiteralEqualsUtf16();
};

// The tool's first step in main.
void tst_Encoding::initTestCase()
{
    QtCompat::useUtf8ForLocale();
}

void tst_Encoding::narrowLiteralEqualsUtf16_data()
{
    QTest::addColumn<QString>("narrow");
    QTest::addColumn<QString>("wide");
    QTest::newRow("page name") << QString("密码键盘") << QString::fromUtf16(u"密码键盘");
    QTest::newRow("title") << QString("发卡机测试工具_V0.0.1")
                           << QString::fromUtf16(u"发卡机测试工具_V0.0.1");
    QTest::newRow("log label with full-width colon")
        << QString(">>>打开设备：") << QString::fromUtf16(u">>>打开设备：");
    QTest::newRow("translated text")
        << QCoreApplication::translate("MainDialog", "输出信息") << QString::fromUtf16(u"输出信息");
}

void tst_Encoding::narrowLiteralEqualsUtf16()
{
    QFETCH(QString, narrow);
    QFETCH(QString, wide);
    QCOMPARE(narrow, wide);
    QCOMPARE(wide.toLocal8Bit(), wide.toUtf8());
    QCOMPARE(QString::fromLocal8Bit(wide.toUtf8()), wide);
}

QTEST_GUILESS_MAIN(tst_Encoding)
#include "tst_encoding.moc"
