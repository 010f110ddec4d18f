// SPDX-License-Identifier: MIT
#include "engine/device/replyreaders.h"

#include <QtTest>

#include <string>
#include <vector>

namespace {

// A reply as the library leaves it in a zero-filled buffer of the given size.
std::vector<char> buffer(const QByteArray &reply, std::size_t size = kReplyBufferSize)
{
    std::vector<char> out(size, '\0');
    std::copy_n(reply.constData(), std::min<std::size_t>(reply.size(), size), out.begin());
    return out;
}

// A buffer of kReplyBufferSize bytes that the library filled to its very end with head, padded
// with blanks, and the bytes that happen to follow it in memory.
std::vector<char> overfilled(const QByteArray &head, const QByteArray &after)
{
    QByteArray bytes = head.leftJustified(int(kReplyBufferSize), ' ');
    bytes += after;
    bytes += '\0';
    return std::vector<char>(bytes.begin(), bytes.end());
}

struct StatusResult
{
    int status;
    QStringList trace;
};

StatusResult readStatus(int result, const std::vector<char> &reply)
{
    QStringList trace;
    const int status = readChannelStatus(result, reply.data(), kReplyBufferSize,
        [&trace](const std::string &line) { trace << QString::fromStdString(line); });
    return {status, trace};
}

QStringList parsedTrace(const QString &channel, int status)
{
    return {"get status 1", "get status 2", "get status ret " + channel,
        "get status ret " + QString::number(status)};
}

const QStringList kUnreadableTrace = {"get status 1", "get status 2", "get status ret 0"};

} // namespace

class tst_ReplyReaders : public QObject
{
    Q_OBJECT

private slots:
    void channelStatus_data();
    void channelStatus();
    void channelStatusReadsNoFurtherThanTheBuffer_data();
    void channelStatusReadsNoFurtherThanTheBuffer();
    void cardNumber_data();
    void cardNumber();
    void cardNumberReadsNoFurtherThanTheBuffer();
    void cardNumberCutToItsBuffer_data();
    void cardNumberCutToItsBuffer();
};

void tst_ReplyReaders::channelStatus_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("trace");

    QTest::newRow("cp35 is an empty channel")
        << 0 << QByteArray(R"({"Channel":"cp35"})") << 0 << parsedTrace("cp35", 0);
    QTest::newRow("longer value beginning with cp35 is empty")
        << 0 << QByteArray(R"({"Channel":"cp35-empty"})") << 0 << parsedTrace("cp35-empty", 0);
    QTest::newRow("cp34 is a card at the front")
        << 0 << QByteArray(R"({"Ret":0,"Channel":"cp34"})") << 1 << parsedTrace("cp34", 1);
    QTest::newRow("cp31 is a card at the reader")
        << 0 << QByteArray(R"({"Channel":"cp31"})") << 1 << parsedTrace("cp31", 1);
    QTest::newRow("a value shorter than cp35 is a card")
        << 0 << QByteArray(R"({"Channel":"cp3"})") << 1 << parsedTrace("cp3", 1);
    QTest::newRow("member name matched whatever its case")
        << 0 << QByteArray(R"({"CHANNEL":"cp35"})") << 0 << parsedTrace("cp35", 0);
    QTest::newRow("not JSON reads as empty")
        << 0 << QByteArray("channel cp34") << 0 << kUnreadableTrace;
    QTest::newRow("empty reply reads as empty") << 0 << QByteArray() << 0 << kUnreadableTrace;
    QTest::newRow("missing Channel reads as empty")
        << 0 << QByteArray(R"({"Ret":0,"Box":50})") << 0 << kUnreadableTrace;
    QTest::newRow("Channel a number reads as empty")
        << 0 << QByteArray(R"({"Channel":34})") << 0 << kUnreadableTrace;
    QTest::newRow("Channel an object reads as empty")
        << 0 << QByteArray(R"({"Channel":{"cp34":1}})") << 0 << kUnreadableTrace;
    QTest::newRow("a JSON array reads as empty")
        << 0 << QByteArray(R"(["Channel","cp34"])") << 0 << kUnreadableTrace;
    QTest::newRow("failure code returned without parsing")
        << 7 << QByteArray(R"({"Channel":"cp35"})") << 7 << QStringList {"get status ret 7"};
    QTest::newRow("negative failure code returned as it is")
        << -11 << QByteArray() << -11 << QStringList {"get status ret -11"};
    QTest::newRow("failure code 1 reads like a card")
        << 1 << QByteArray() << 1 << QStringList {"get status ret 1"};
}

void tst_ReplyReaders::channelStatus()
{
    QFETCH(int, result);
    QFETCH(QByteArray, reply);
    QFETCH(int, status);
    QFETCH(QStringList, trace);

    const StatusResult read = readStatus(result, buffer(reply));
    QCOMPARE(read.status, status);
    QCOMPARE(read.trace, trace);
}

void tst_ReplyReaders::channelStatusReadsNoFurtherThanTheBuffer_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("trace");

    // Were the bytes after the buffer read, the reply would complete to a card in the channel.
    QTest::newRow("reply completed only past the buffer")
        << QByteArray(R"({"Channel":"cp34")") << QByteArray("}") << 0 << kUnreadableTrace;
    QTest::newRow("reply ending on the last byte")
        << QByteArray(R"({"Channel":"cp34")").leftJustified(int(kReplyBufferSize) - 1, ' ') + '}'
        << QByteArray(R"(,"Channel":"cp35"})") << 1 << parsedTrace("cp34", 1);
}

void tst_ReplyReaders::channelStatusReadsNoFurtherThanTheBuffer()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, after);
    QFETCH(int, status);
    QFETCH(QStringList, trace);

    const StatusResult read = readStatus(0, overfilled(head, after));
    QCOMPARE(read.status, status);
    QCOMPARE(read.trace, trace);
}

void tst_ReplyReaders::cardNumber_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("number");

    const QByteArray number = "6217001234567890123";
    QTest::newRow("card number of a good read")
        << QByteArray(R"({"Ret":0,"Data":{"5A":"6217001234567890123"}})") << number;
    QTest::newRow("member names matched whatever their case")
        << QByteArray(R"({"ret":0,"data":{"5a":"6217001234567890123"}})") << number;
    QTest::newRow("UTF-8 kept as it is")
        << QByteArray(R"({"Ret":0,"Data":{"5A":"卡号"}})") << QByteArray("卡号");
    QTest::newRow("empty 5A") << QByteArray(R"({"Ret":0,"Data":{"5A":""}})") << QByteArray();
    QTest::newRow("Ret 1 gives none")
        << QByteArray(R"({"Ret":1,"Data":{"5A":"6217001234567890123"}})") << QByteArray();
    QTest::newRow("Ret missing gives none")
        << QByteArray(R"({"Data":{"5A":"6217001234567890123"}})") << QByteArray();
    QTest::newRow("Ret a string gives none")
        << QByteArray(R"({"Ret":"0","Data":{"5A":"6217001234567890123"}})") << QByteArray();
    QTest::newRow("Ret null gives none")
        << QByteArray(R"({"Ret":null,"Data":{"5A":"6217001234567890123"}})") << QByteArray();
    QTest::newRow("Data missing gives none") << QByteArray(R"({"Ret":0})") << QByteArray();
    QTest::newRow("Data a string gives none")
        << QByteArray(R"({"Ret":0,"Data":"6217001234567890123"})") << QByteArray();
    QTest::newRow("5A missing gives none")
        << QByteArray(R"({"Ret":0,"Data":{"57":"6217001234567890123"}})") << QByteArray();
    QTest::newRow("5A an object gives none")
        << QByteArray(R"({"Ret":0,"Data":{"5A":{"number":"6217"}}})") << QByteArray();
    QTest::newRow("5A a number gives none")
        << QByteArray(R"({"Ret":0,"Data":{"5A":6217001234567890123}})") << QByteArray();
    QTest::newRow("not JSON gives none") << QByteArray("5A=6217001234567890123") << QByteArray();
    QTest::newRow("empty reply gives none") << QByteArray() << QByteArray();
}

void tst_ReplyReaders::cardNumber()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, number);

    const std::vector<char> bytes = buffer(reply);
    QCOMPARE(QByteArray::fromStdString(readCardNumber(bytes.data(), kReplyBufferSize)), number);
}

void tst_ReplyReaders::cardNumberReadsNoFurtherThanTheBuffer()
{
    const std::vector<char> bytes
        = overfilled(R"({"Ret":0,"Data":{"5A":"6217001234567890123"})", "}");
    QCOMPARE(readCardNumber(bytes.data(), kReplyBufferSize), std::string());
}

// A reply in a buffer of kReplyBufferSize bytes cannot carry such a number; a larger reply can.
void tst_ReplyReaders::cardNumberCutToItsBuffer_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("kept");

    const int longest = int(kCardNumberBufferSize) - 1;
    QTest::newRow("1023 bytes kept whole") << longest << longest;
    QTest::newRow("1024 bytes cut to 1023") << longest + 1 << longest;
    QTest::newRow("5000 bytes cut to 1023") << 5000 << longest;
}

void tst_ReplyReaders::cardNumberCutToItsBuffer()
{
    QFETCH(int, length);
    QFETCH(int, kept);

    QByteArray digits;
    for (int i = 0; i < length; ++i)
        digits += char('0' + i % 10);
    const QByteArray reply = R"({"Ret":0,"Data":{"5A":")" + digits + "\"}}";
    const std::vector<char> bytes = buffer(reply, reply.size() + 1);
    QCOMPARE(
        QByteArray::fromStdString(readCardNumber(bytes.data(), bytes.size())), digits.left(kept));
}

QTEST_APPLESS_MAIN(tst_ReplyReaders)
#include "tst_replyreaders.moc"
