// SPDX-License-Identifier: MIT
#include "messagecapture.h"
#include "qtcompat.h"
#include "simulatorwindow.h"

#include <QPushButton>
#include <QSet>
#include <QtTest>

namespace {

// Nine waits of the 3 s head start and a poll or two each, plus the cards themselves.
constexpr int kTenCardsTimeoutMs = 90000;

QStringList cardLines()
{
    return {">>>选卡发卡：0", ">>>移卡：0", ">>>上电：0", ">>>读卡信息：0", ">>>发卡卡号：<number>",
        ">>>下电：0", ">>>吐卡给客户：0", ">>>请取走您的卡片"};
}

} // namespace

// The Part's own waits for the customer make this run last about half a minute.
class tst_TabKeypadTenCards : public QObject
{
    Q_OBJECT

private slots:
    void tenCardsEachTakenByTheCustomer();
};

void tst_TabKeypadTenCards::tenCardsEachTakenByTheCustomer()
{
    SimulatorWindow window({"VARNAK_SIM_TAKE_MS=100"});
    QVERIFY(window.hasLibrary());
    MessageCapture messages;

    window.button("BtnSendCard10")->click();
    QTRY_VERIFY_WITH_TIMEOUT(window.logLines().contains(">>>发卡测试完成"), kTenCardsTimeoutMs);

    QStringList expected {">>>测试发卡 10 次"};
    for (int card = 0; card < 10; ++card)
        expected << cardLines();
    expected << ">>>发卡测试完成";
    QCOMPARE(window.logLines(), expected);
    const QStringList numbers = window.cardNumbers();
    QCOMPARE(QSet<QString>(numbers.begin(), numbers.end()).size(), 10);
    QCOMPARE(messages.messages().filter("getChannelStatus ret").size(), 9);
    QCOMPARE(messages.messages().filter("getChannelStatus ret "),
        QtCompat::repeated(9, QStringLiteral("getChannelStatus ret  0")));

    window.close();
    const QStringList calls = window.calls();
    QCOMPARE(calls.count(R"(deviceSendCard("cp31", 30) = 0)"), 10);
    QCOMPARE(calls.count(R"(deviceMoveCard("cp34", 10) = 0)"), 10);
    QCOMPARE(calls.last(), QString("overlaps 0"));
}

QTEST_MAIN(tst_TabKeypadTenCards)
#include "tst_tabkeypadtencards.moc"
