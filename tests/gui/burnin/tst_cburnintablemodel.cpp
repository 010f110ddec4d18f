// SPDX-License-Identifier: MIT
#include "gui/burnin/cburnintablemodel.h"

#include <QBrush>
#include <QSignalSpy>
#include <QtTest>

namespace {

BurnInRecord card(int index)
{
    BurnInRecord record;
    record.index = index;
    record.passed = true;
    return record;
}

} // namespace

// A column type of a data table; Qt 5 does not register it by itself.
Q_DECLARE_METATYPE(BurnInRecord)

class tst_CBurnInTableModel : public QObject
{
    Q_OBJECT

private slots:
    void insertsInBatches();
    void roles_data();
    void roles();
};

void tst_CBurnInTableModel::insertsInBatches()
{
    CBurnInTableModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QVector<BurnInRecord> batch;
    for (int i = 1; i <= 1000; ++i)
        batch.append(card(i));
    model.append(batch);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.at(0).at(2).toInt(), 999);
    QCOMPARE(model.record(999).index, 1000);

    model.append({card(1001), card(1002)});
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted.at(1).at(1).toInt(), 1000);
    QCOMPARE(inserted.at(1).at(2).toInt(), 1001);
}

void tst_CBurnInTableModel::roles_data()
{
    QTest::addColumn<BurnInRecord>("record");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("coloured");
    QTest::addColumn<QString>("toolTip");

    BurnInRecord failed = card(1);
    failed.passed = false;
    BurnInRecord duplicate = card(2);
    duplicate.duplicate = true;
    QTest::newRow("failed result") << failed << int(CBurnInTableModel::Result) << true << "";
    QTest::newRow("passed result") << card(1) << int(CBurnInTableModel::Result) << false << "";
    QTest::newRow("duplicate number")
        << duplicate << int(CBurnInTableModel::CardNumber) << true << "重复卡号";
    QTest::newRow("first seen number")
        << card(1) << int(CBurnInTableModel::CardNumber) << false << "";
}

void tst_CBurnInTableModel::roles()
{
    QFETCH(BurnInRecord, record);
    QFETCH(int, column);
    QFETCH(bool, coloured);
    QFETCH(QString, toolTip);
    CBurnInTableModel model;
    model.append({record});
    const QModelIndex index = model.index(0, column);

    QCOMPARE(index.data(Qt::ForegroundRole).canConvert<QBrush>(), coloured);
    QCOMPARE(index.data(Qt::ToolTipRole).toString(), toolTip);
}

QTEST_MAIN(tst_CBurnInTableModel)
#include "tst_cburnintablemodel.moc"
