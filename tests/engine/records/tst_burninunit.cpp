// SPDX-License-Identifier: MIT
#include "engine/records/burninunit.h"

#include <QtTest>

class tst_BurnInUnit : public QObject
{
    Q_OBJECT

private slots:
    void checkUnit_data();
    void checkUnit();
    void fileNamePart_data();
    void fileNamePart();
};

void tst_BurnInUnit::checkUnit_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("limitsSet");
    QTest::addColumn<QString>("checkedSerial"); // as the run gets it
    QTest::addColumn<QString>("error"); // a word of it; empty when accepted

    const QString longest(BurnInInput::kMaxTextLength, QLatin1Char('7'));
    QTest::newRow("scanned, with its Enter") << " SN-0001\r\n"
                                             << "VK-200" << true << "SN-0001" << QString();
    QTest::newRow("none without limits") << "  " << QString() << false << QString() << QString();
    QTest::newRow("none with a limit") << "\t" << QString() << true << QString() << "须输入";
    QTest::newRow("64 characters") << longest << QString() << true << longest << QString();
    QTest::newRow("65 characters") << longest + "8" << QString() << true << longest + "8"
                                   << "最多 64 个字符";
    QTest::newRow("control character inside") << "SN\x01"
                                                 "0001"
                                              << QString() << false
                                              << "SN\x01"
                                                 "0001"
                                              << "控制字符";
    QTest::newRow("escape sequence in the model") << "SN-1"
                                                  << "VK\x1b[2J" << false << "SN-1"
                                                  << "型号含有控制字符";
}

void tst_BurnInUnit::checkUnit()
{
    QFETCH(QString, serial);
    QFETCH(QString, model);
    QFETCH(bool, limitsSet);
    QFETCH(QString, checkedSerial);
    QFETCH(QString, error);

    const BurnInInput::CheckedUnit checked
        = BurnInInput::checkUnit({serial, model, QStringLiteral(" 李工 ")}, limitsSet);
    QCOMPARE(checked.unit.serial, checkedSerial);
    QCOMPARE(checked.unit.operatorName, QStringLiteral("李工"));
    QCOMPARE(checked.error.isEmpty(), error.isEmpty());
    QVERIFY2(checked.error.contains(error), qPrintable(checked.error));
}

void tst_BurnInUnit::fileNamePart_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("part");

    QTest::newRow("safe as it is") << "SN-0001_a.b"
                                   << "SN-0001_a.b";
    QTest::newRow("separators and spaces") << "../SN 7/1\\x"
                                           << "_._SN_7_1_x";
    QTest::newRow("hidden file") << ".SN"
                                 << "_SN";
    QTest::newRow("Chinese") << "甲乙"
                             << "__";
}

void tst_BurnInUnit::fileNamePart()
{
    QFETCH(QString, serial);
    QFETCH(QString, part);
    QCOMPARE(BurnInInput::fileNamePart(serial), part);
}

QTEST_GUILESS_MAIN(tst_BurnInUnit)
#include "tst_burninunit.moc"
