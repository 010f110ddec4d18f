// SPDX-License-Identifier: MIT
// Replies that fill the 1024-byte buffer to its last byte, with no NUL, through the real loader
// and the simulator: the page must read no further than its buffer, which AddressSanitizer checks
// on the real stack buffers, and must go on as with any unreadable reply.
#include "simulatorwindow.h"

#include <QPushButton>
#include <QtTest>

namespace {

constexpr int kReplyBufferSize = 1024;

// Ends with its closing brace only past the buffer, so that it parses only if read too far.
QString overfilled(const QString &head, const QString &tail)
{
    return head.leftJustified(kReplyBufferSize, ' ') + tail;
}

} // namespace

class tst_TabKeypadBadInput : public QObject
{
    Q_OBJECT

private slots:
    void replyFillingTheBuffer_data();
    void replyFillingTheBuffer();
};

void tst_TabKeypadBadInput::replyFillingTheBuffer_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("number");

    // An unreadable status reads as an empty channel, so the card is issued as usual.
    QTest::newRow("status reply") << "VARNAK_SIM_STATUS_REPLY="
            + overfilled(R"({"Channel":"cp34")", "}")
                                  << "<number>";
    QTest::newRow("chip reply") << "VARNAK_SIM_ICINFO_REPLY="
            + overfilled(R"({"Ret":0,"Data":{"5A":"6217001234567890123"})", "}")
                                << "";
}

void tst_TabKeypadBadInput::replyFillingTheBuffer()
{
    QFETCH(QString, setting);
    QFETCH(QString, number);
    SimulatorWindow window({setting});
    QVERIFY(window.hasLibrary());

    window.button("BtnSendCard")->click();
    QTRY_VERIFY(window.logLines().contains(">>>发卡测试完成"));
    QCOMPARE(window.logLines(),
        QStringList({">>>测试发卡 1 次", ">>>选卡发卡：0", ">>>移卡：0", ">>>上电：0",
            ">>>读卡信息：0", ">>>发卡卡号：" + number, ">>>下电：0", ">>>吐卡给客户：0",
            ">>>请取走您的卡片", ">>>发卡测试完成"}));
}

QTEST_MAIN(tst_TabKeypadBadInput)
#include "tst_tabkeypad_badinput.moc"
