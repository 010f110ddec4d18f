// SPDX-License-Identifier: MIT
// Random presses of the card test page's five buttons and of the burn-in page's start and stop
// against a simulator that fails, lags and serves customers at random, then the window closed
// while a test waits for its customer. The run must end without a crash, with no overlapping
// library call and none after unloading, and with every test's lines in an order that test can
// write.
#include "testlinechecker.h"

#include "gui/burnin/tabburnin.h"
#include "gui/cardtest/tabkeypad.h"
#include "gui/shell/maindialog.h"
#include "scopedenvironment.h"
#include "workingfolder.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTextBlock>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <random>

using Test = TestLineChecker::Test;
Q_DECLARE_METATYPE(QList<Test>)

namespace {

constexpr quint64 kDefaultSeed = 20240611;
constexpr int kDefaultSeconds = 60;
// The tests' own waits, cut down so that more tests fit the run.
constexpr int kWaitDivisor = 10;
// Presses of buttons that ask for a test are held back while this many tests are queued or
// running, so the run exercises tests rather than a queue that the close only drops.
constexpr int kMostPending = 4;
constexpr int kMostGapMs = 300;
constexpr int kEndPhaseTimeoutMs = 180000;
// Few enough that a run ends among the other tests rather than holding the queue.
constexpr int kBurnInCards = 3;

struct Button
{
    const char *name;
    int weight;
    std::optional<Test> test; // none: the burn-in's stop, which asks for no job
};
const Button kButtons[] = {{"BtnOpenDevice", 2, Test::Open}, {"BtnCloseDevice", 1, Test::Close},
    {"BtnSendCard", 3, Test::IssueOne}, {"BtnRecycleCard", 2, Test::CaptureOne},
    {"BtnSendCard10", 2, Test::IssueTen}, {"BtnStart", 2, Test::BurnIn},
    {"BtnStop", 3, std::nullopt}};

quint64 settingOr(const char *name, quint64 fallback)
{
    bool ok = false;
    const quint64 value = qEnvironmentVariable(name).toULongLong(&ok);
    return ok ? value : fallback;
}

QStringList traceLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// Presses buttons and follows the log pane with the test line checker. A press writes nothing
// before it returns: every button's job waits its turn in the device queue. The burn-in page
// takes no click on its start during a run, nor on its stop without one.
class Presser
{
public:
    Presser(QWidget *window, QPlainTextEdit *pane, quint64 seed)
        : m_window(window)
        , m_pane(pane)
        , m_random(seed)
    { }

    int draw(int below) { return int(m_random() % quint64(below)); }

    void pressRandomButton()
    {
        int totalWeight = 0;
        for (const Button &button : kButtons)
            totalWeight += button.weight;
        int pick = draw(totalWeight);
        for (const Button &button : kButtons) {
            if ((pick -= button.weight) < 0) {
                if (!button.test || pending() < kMostPending)
                    press(button);
                return;
            }
        }
    }

    void press(const Button &button)
    {
        auto *pushButton = m_window->findChild<QPushButton *>(button.name);
        if (!pushButton->isEnabled())
            return;
        const int before = lineCount();
        pushButton->click();
        ++presses[button.name];
        if (button.test)
            checker.submit(*button.test);
        else
            checker.stopBurnIn();
        if (lineCount() != before && m_error.isEmpty())
            m_error = QStringLiteral("%1 wrote \"%2\" at once").arg(button.name, lineAt(before));
    }

    void follow()
    {
        for (const int count = lineCount(); m_next < count; ++m_next) {
            if (!checker.feed(lineAt(m_next)) && m_error.isEmpty())
                m_error = checker.error();
        }
    }

    int pending() const { return checker.submitted() - checker.ended(); }
    QString error() const { return m_error; }

    TestLineChecker checker;
    QMap<QString, int> presses;

private:
    int lineCount() const
    {
        return m_pane->document()->isEmpty() ? 0 : m_pane->document()->blockCount();
    }
    QString lineAt(int index) const { return m_pane->document()->findBlockByNumber(index).text(); }

    QWidget *m_window;
    QPlainTextEdit *m_pane;
    std::mt19937_64 m_random;
    int m_next = 0;
    QString m_error;
};

} // namespace

class tst_Stress : public QObject
{
    Q_OBJECT

private slots:
    void checkerFollowsTests_data();
    void checkerFollowsTests();
    void randomPressesThenClose();
};

void tst_Stress::checkerFollowsTests_data()
{
    QTest::addColumn<QList<Test>>("tests");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("ended");

    const QStringList card = {">>>选卡发卡：0", ">>>移卡：0", ">>>上电：0", ">>>读卡信息：0",
        ">>>发卡卡号：6217001234567890123", ">>>下电：0", ">>>吐卡给客户：0", ">>>请取走您的卡片"};
    const QStringList one = QStringList {">>>测试发卡 1 次"} << card << ">>>发卡测试完成";
    const QStringList capture
        = {">>>请在前端插入卡片:", ">>>前端进卡：0", ">>>吞卡：0", ">>>吞卡测试完成"};

    QTest::newRow("one card, then a capture")
        << QList<Test> {Test::IssueOne, Test::CaptureOne} << (one + capture) << true << 2;
    QTest::newRow("ten cards stopped after the first")
        << QList<Test> {Test::IssueTen} << (QStringList {">>>测试发卡 10 次"} << card) << true << 0;
    QTest::newRow("failed power-off shown, card handed out")
        << QList<Test> {Test::IssueOne}
        << QStringList(one).replaceInStrings(">>>下电：0", ">>>下电：-14") << true << 1;
    QTest::newRow("card left in the channel")
        << QList<Test> {Test::IssueOne, Test::CaptureOne}
        << QStringList {">>>测试发卡 1 次", ">>>吐卡给客户：-12", ">>>请取走卡片，再进行测试！！！",
               ">>>通道内有卡，直接吞卡。吞卡：-5", ">>>吞卡测试完成"}
        << true << 2;
    QTest::newRow("empty box") << QList<Test> {Test::IssueTen}
                               << QStringList {">>>测试发卡 10 次", ">>>选卡发卡：-10",
                                      ">>>卡箱内无卡，请放置好卡片后，再进行测试！！！"}
                               << true << 1;
    QTest::newRow("run goes on after a failed step")
        << QList<Test> {Test::IssueOne}
        << QStringList {">>>测试发卡 1 次", ">>>选卡发卡：0", ">>>移卡：-12", ">>>上电：0"} << false
        << 1;
    QTest::newRow("open and close pressed during a capture, after it")
        << QList<Test> {Test::CaptureOne, Test::Open, Test::Close}
        << (QStringList(capture) << ">>>打开设备：-3"
                                 << ">>>关闭设备")
        << true << 3;
    QTest::newRow("successful open logged by a test")
        << QList<Test> {Test::CaptureOne} << QStringList {">>>打开设备：0"} << false << 0;
    QTest::newRow("two tests mixed")
        << QList<Test> {Test::IssueOne, Test::CaptureOne}
        << QStringList {">>>测试发卡 1 次", ">>>请在前端插入卡片:"} << false << 0;
    QTest::newRow("ten cards completed after one")
        << QList<Test> {Test::IssueTen}
        << (QStringList {">>>测试发卡 10 次"} << card << ">>>发卡测试完成") << false << 0;
    QTest::newRow("a line with no test to write it")
        << QList<Test> {Test::CaptureOne} << (capture + capture) << false << 1;

    // The pane shows the failed card alone: the two others passed.
    const QStringList burnIn
        = {">>>老化测试开始：回收 3 张", ">>>老化 第 2 张：- 失败 0.031 秒，发卡到读卡位：-15"};
    const auto burnInEnd = [](int done, int passed) {
        return QStringList {
            QStringLiteral(">>>老化测试结束（完成）：已完成 %1 张  通过 %2  失败 %3  "
                           "通过率 66.6%  每张 平均/P95/最长 0.080/0.106/0.106 秒  "
                           "重复卡号 0")
                .arg(done)
                .arg(passed)
                .arg(done - passed),
            ">>>记录文件：/w/results/burnin-20240611-120000.csv，/w/results/"
            "burnin-20240611-120000.log"};
    };
    QTest::newRow("burn-in, then the test queued behind it")
        << QList<Test> {Test::BurnIn, Test::IssueOne} << (burnIn + burnInEnd(3, 2) + one) << true
        << 2;
    QTest::newRow("a test's lines between burn-in's cards and its end")
        << QList<Test> {Test::BurnIn, Test::IssueOne}
        << (burnIn + one.mid(0, 2) + burnInEnd(3, 2) + one.mid(2)) << false << 0;
    QTest::newRow("burn-in's box empty after a card that passed unshown")
        << QList<Test> {Test::BurnIn}
        << QStringList {">>>老化测试开始：回收 3 张",
               ">>>卡箱内无卡，请放置好卡片后，再进行测试！！！",
               ">>>老化测试结束（卡箱内无卡）：已完成 1 张  通过 1  失败 0  通过率 100.0%  每张 "
               "平均/P95/最长 0.038/0.038/0.038 秒  重复卡号 0",
               ">>>记录文件：/w/results/burnin-20240611-120000.csv，/w/results/"
               "burnin-20240611-120000.log"}
        << true << 1;
    QTest::newRow("burn-in ended before its last card")
        << QList<Test> {Test::BurnIn} << (burnIn + burnInEnd(2, 1)) << false << 0;
}

void tst_Stress::checkerFollowsTests()
{
    QFETCH(QList<Test>, tests);
    QFETCH(QStringList, lines);
    QFETCH(bool, accepted);
    QFETCH(int, ended);

    TestLineChecker checker;
    for (const Test test : tests)
        checker.submit(test);
    bool all = true;
    for (const QString &line : lines)
        all = all && checker.feed(line);
    QVERIFY2(all == accepted, qPrintable(checker.error()));
    QCOMPARE(checker.ended(), ended);
}

void tst_Stress::randomPressesThenClose()
{
    const quint64 seed = settingOr("CDT_STRESS_SEED", kDefaultSeed);
    const auto seconds = int(settingOr("CDT_STRESS_SECONDS", kDefaultSeconds));
    qInfo("stress: seed %llu (set CDT_STRESS_SEED to replay), %d s of presses", seed, seconds);

    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(folder.stageSimulator());
    const QString trace = folder.filePath(QStringLiteral("trace.txt"));
    ScopedEnvironment environment;
    environment.set("VARNAK_SIM_TRACE", trace.toLocal8Bit());
    environment.set("VARNAK_SIM_SEED", QByteArray::number(seed));
    environment.set("VARNAK_SIM_FAIL_PERCENT", "3");
    environment.set("VARNAK_SIM_LATENCY_MAX_MS", "15");
    environment.set("VARNAK_SIM_TAKE_MS", "0");
    environment.set("VARNAK_SIM_TAKE_MAX_MS", "800");
    environment.set("VARNAK_SIM_INSERT_MS", "0");
    environment.set("VARNAK_SIM_INSERT_MAX_MS", "1200");
    environment.set("VARNAK_SIM_ENTER_TIMEOUT_MS", "1000");
    // Enough cards that the final run can always issue one; an empty box still comes up as one
    // of the random failures.
    environment.set("VARNAK_SIM_CARDS", "100000");

    // Once set, the next wait a test begins lasts until the close cuts it short.
    std::atomic<bool> holdWaits {false};
    std::atomic<bool> held {false};
    auto dialog = std::make_unique<MainDialog>();
    QVERIFY(dialog->sdk()->pOpenDevice);
    auto *page = dialog->findChild<TabKeypad *>();
    QVERIFY(page);
    page->testGate().setWaitScale([&](CTestGate::Duration requested) {
        if (!holdWaits)
            return requested / kWaitDivisor;
        held = true;
        return CTestGate::Duration(std::chrono::hours(24));
    });
    auto *burnInCount = dialog->burnInPage()->findChild<QSpinBox *>(QStringLiteral("SpinCount"));
    QVERIFY(burnInCount);
    burnInCount->setValue(kBurnInCards);
    Presser presser(
        dialog.get(), dialog->findChild<QPlainTextEdit *>(QStringLiteral("EditLog")), seed);

    // Random presses until the deadline; then the next wait a test begins is held, starting ten
    // cards if no test is left to do it, so that the close meets a test waiting for its customer.
    enum class Phase { Pressing, Holding, Ready } phase = Phase::Pressing;
    const QDeadlineTimer deadline(std::chrono::seconds {seconds});
    QTimer ticker;
    ticker.setSingleShot(true);
    connect(&ticker, &QTimer::timeout, this, [&] {
        presser.follow();
        if (phase == Phase::Pressing && deadline.hasExpired()) {
            phase = Phase::Holding;
            holdWaits = true;
        }
        if (!presser.error().isEmpty() || (held && presser.checker.betweenCards())) {
            phase = Phase::Ready;
            return;
        }
        if (phase == Phase::Pressing)
            presser.pressRandomButton();
        else if (presser.pending() == 0)
            presser.press(kButtons[4]);
        ticker.start(presser.draw(kMostGapMs + 1));
    });
    ticker.start(0);
    QTRY_VERIFY_WITH_TIMEOUT(phase == Phase::Ready, seconds * 1000 + kEndPhaseTimeoutMs);
    QVERIFY2(presser.error().isEmpty(), qPrintable(presser.error()));

    dialog->close();
    dialog.reset();

    const TestLineChecker &checker = presser.checker;
    QVERIFY(checker.midTest());
    const int dropped = checker.submitted() - checker.ended() - 1;
    QStringList ends;
    for (auto it = checker.ends().cbegin(); it != checker.ends().cend(); ++it)
        ends << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    QStringList presses;
    for (const Button &button : kButtons)
        presses << QStringLiteral("%1 %2").arg(button.name).arg(presser.presses.value(button.name));
    qInfo("stress: presses: %s", qPrintable(presses.join(", ")));
    qInfo("stress: tests: %d asked for, %d ended (%s), 1 stopped by the close, %d dropped by it",
        checker.submitted(), checker.ended(), qPrintable(ends.join(", ")), dropped);
    QVERIFY(checker.ended() > 0);

    // Every call done with nobody else inside the library, and the unload's line last. A burn-in's
    // driver host loads a library of its own, whose unload leaves its line in between.
    QStringList lines = traceLines(trace);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.last(), QStringLiteral("overlaps 0"));
    lines.removeLast();
    lines.removeAll(QStringLiteral("overlaps 0"));
    lines << QStringLiteral("overlaps 0");
    static const QRegularExpression call(
        QStringLiteral("^\\w+\\(.*\\) = (-?\\d+) \\[overlaps 0\\]$"));
    QMap<int, int> results;
    for (int i = 0; i < lines.size() - 1; ++i) {
        const QRegularExpressionMatch match = call.match(lines.at(i));
        QVERIFY2(match.hasMatch(), qPrintable(lines.at(i)));
        ++results[match.captured(1).toInt()];
    }
    QStringList codes;
    for (auto it = results.cbegin(); it != results.cend(); ++it)
        codes << QStringLiteral("%1: %2").arg(it.key()).arg(it.value());
    qInfo("stress: %lld library calls, none overlapping, none after unloading; results %s",
        qint64(lines.size() - 1), qPrintable(codes.join(", ")));
}

QTEST_MAIN(tst_Stress)
#include "tst_stress.moc"
