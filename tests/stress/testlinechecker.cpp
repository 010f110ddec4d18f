// SPDX-License-Identifier: MIT
#include "testlinechecker.h"

#include <QRegularExpression>

namespace {

const QString kOpen = QStringLiteral(">>>打开设备：");
const QString kSend = QStringLiteral(">>>选卡发卡：");
const QString kMove = QStringLiteral(">>>移卡：");
const QString kPowerOn = QStringLiteral(">>>上电：");
const QString kRead = QStringLiteral(">>>读卡信息：");
const QString kNumber = QStringLiteral(">>>发卡卡号：");
const QString kPowerOff = QStringLiteral(">>>下电：");
const QString kEject = QStringLiteral(">>>吐卡给客户：");
const QString kTakeYourCard = QStringLiteral(">>>请取走您的卡片");
const QString kTakeLeftCard = QStringLiteral(">>>请取走卡片，再进行测试！！！");
const QString kBoxEmpty = QStringLiteral(">>>卡箱内无卡，请放置好卡片后，再进行测试！！！");
const QString kIssueDone = QStringLiteral(">>>发卡测试完成");
const QString kCaptureFound = QStringLiteral(">>>通道内有卡，直接吞卡。吞卡：");
const QString kInsertPrompt = QStringLiteral(">>>请在前端插入卡片:");
const QString kInsert = QStringLiteral(">>>前端进卡：");
const QString kCapture = QStringLiteral(">>>吞卡：");
const QString kCaptureDone = QStringLiteral(">>>吞卡测试完成");

constexpr int kNoCode = 1 << 30;

// The return code after label, or kNoCode when the line is not label followed by a number.
int codeAfter(const QString &line, const QString &label)
{
    static const QRegularExpression number(QStringLiteral("^-?\\d+$"));
    if (!line.startsWith(label))
        return kNoCode;
    const QString rest = line.mid(label.size());
    return number.match(rest).hasMatch() ? rest.toInt() : kNoCode;
}

const QString kClosed = QStringLiteral(">>>关闭设备");

const QString kBurnInEnd = QStringLiteral(">>>老化测试结束（");
const QString kRecordFiles = QStringLiteral(">>>记录文件：");
// As the run counts them: this many failed cards in a row end it.
constexpr int kFailureStreak = 5;

// The reasons an end line gives, and what the figures call them.
const QString kCompleted = QStringLiteral("完成");
const QString kStopped = QStringLiteral("已停止");
const QString kStoppedOnFailure = QStringLiteral("出错即停");
const QString kFailedInARow = QStringLiteral("连续 %1 张失败").arg(kFailureStreak);
const QString kBoxWasEmpty = QStringLiteral("卡箱内无卡");
const QString kCardWasLeft = QStringLiteral("通道内有卡，已吐卡");
const QString kChannelBlocked = QStringLiteral("无法清理通道");
const QMap<QString, QString> kBurnInEnds = {{kCompleted, QStringLiteral("burn-in completed")},
    {kStopped, QStringLiteral("burn-in stopped")},
    {kStoppedOnFailure, QStringLiteral("burn-in stopped on failure")},
    {kFailedInARow, QStringLiteral("burn-in failure streak")},
    {kBoxWasEmpty, QStringLiteral("burn-in card box empty")},
    {kCardWasLeft, QStringLiteral("burn-in card left in the channel")}};
const QString kChannelWasBlocked = QStringLiteral("burn-in channel blocked");
// The end names the card that could not begin, the open's code and what to look at.
const QString kDeviceWasLost = QStringLiteral("设备连接中断，第 ");
const QString kNeverBegan = QStringLiteral("burn-in stopped before it began");
const QString kNotBegun = QStringLiteral(">>>老化测试未开始：已停止");

int cardsOf(TestLineChecker::Test test)
{
    return test == TestLineChecker::Test::IssueTen ? 10 : 1;
}

} // namespace

void TestLineChecker::submit(Test test)
{
    if (test == Test::BurnIn)
        m_burnIns.insert(m_tests.size(), BurnIn());
    m_tests << test;
}

void TestLineChecker::stopBurnIn()
{
    if (!m_burnIns.isEmpty())
        m_burnIns.last().stopRequested = true;
}

bool TestLineChecker::betweenCards() const
{
    return m_state == State::CardStart && m_cardsIssued > 0;
}

bool TestLineChecker::feed(const QString &line)
{
    if (!m_error.isEmpty())
        return false;
    if (m_state == State::Idle && m_current < m_tests.size()) {
        m_cardsIssued = 0;
        m_state = firstState(m_tests.at(m_current));
    }
    if (m_state == State::Idle)
        fail(QStringLiteral("no test was asked for that could write it"));
    else if (!step(line) && m_error.isEmpty())
        fail(QStringLiteral("the test cannot write it here"));
    if (m_error.isEmpty())
        return true;
    m_error
        = QStringLiteral("line \"%1\" of test %2: %3").arg(line).arg(m_current + 1).arg(m_error);
    return false;
}

TestLineChecker::State TestLineChecker::firstState(Test test)
{
    switch (test) {
    case Test::CaptureOne:
        return State::CaptureStart;
    case Test::Open:
        return State::OpenLine;
    case Test::Close:
        return State::CloseLine;
    case Test::BurnIn:
        return State::BurnInStart;
    default:
        return State::Header;
    }
}

bool TestLineChecker::step(const QString &line)
{
    switch (m_state) {
    case State::OpenLine:
        return codeAfter(line, kOpen) != kNoCode && end(QStringLiteral("opened"));
    case State::CloseLine:
        return line == kClosed && end(QStringLiteral("closed"));
    case State::BurnInStart:
    case State::BurnInCard:
        return burnInStep(line);
    case State::BurnInEnd:
    case State::BurnInFiles:
        return burnInEnd(line);
    default:
        break;
    }
    const bool capture = m_tests.at(m_current) == Test::CaptureOne;
    return capture ? captureStep(line) : issueStep(line);
}

bool TestLineChecker::issueStep(const QString &line)
{
    const int cards = cardsOf(m_tests.at(m_current));
    switch (m_state) {
    case State::Header:
        if (line != QStringLiteral(">>>测试发卡 %1 次").arg(cards))
            return false;
        m_state = State::CardStart;
        return true;
    case State::CardStart:
        // Opening is logged only when it fails; a card found in the channel is ejected.
        if (const int code = codeAfter(line, kOpen); code != kNoCode)
            return code != 0 && end(QStringLiteral("open failed"));
        if (codeAfter(line, kEject) != kNoCode) {
            m_state = State::LeftCardEjected;
            return true;
        }
        if (const int code = codeAfter(line, kSend); code == -10) {
            m_state = State::BoxEmpty;
            return true;
        } else if (code != kNoCode) {
            return next(code, State::Move, QStringLiteral("dispense failed"));
        }
        return false;
    case State::LeftCardEjected:
        return line == kTakeLeftCard && end(QStringLiteral("card left in the channel"));
    case State::BoxEmpty:
        return line == kBoxEmpty && end(QStringLiteral("card box empty"));
    case State::Move:
        return next(codeAfter(line, kMove), State::PowerOn, QStringLiteral("move failed"));
    case State::PowerOn:
        return next(codeAfter(line, kPowerOn), State::ReadChip, QStringLiteral("power on failed"));
    case State::ReadChip:
        return next(codeAfter(line, kRead), State::CardNumber, QStringLiteral("chip read failed"));
    case State::CardNumber: {
        static const QRegularExpression digits(QStringLiteral("^\\d*$"));
        if (!line.startsWith(kNumber) || !digits.match(line.mid(kNumber.size())).hasMatch())
            return false;
        m_state = State::PowerOff;
        return true;
    }
    case State::PowerOff:
        // Shown with its code, whatever it is; the card is handed out all the same.
        if (codeAfter(line, kPowerOff) == kNoCode)
            return false;
        m_state = State::HandOut;
        return true;
    case State::HandOut:
        return next(codeAfter(line, kEject), State::TakeCard, QStringLiteral("hand-out failed"));
    case State::TakeCard:
        if (line != kTakeYourCard)
            return false;
        m_state = ++m_cardsIssued == cards ? State::IssueDone : State::CardStart;
        return true;
    case State::IssueDone:
        return line == kIssueDone && end(QStringLiteral("completed"));
    default:
        return false;
    }
}

bool TestLineChecker::captureStep(const QString &line)
{
    switch (m_state) {
    case State::CaptureStart:
        if (const int code = codeAfter(line, kOpen); code != kNoCode)
            return code != 0 && end(QStringLiteral("open failed"));
        // The capture of a card found in the channel never ends the run, whatever its code.
        if (codeAfter(line, kCaptureFound) != kNoCode) {
            m_state = State::CaptureDone;
            return true;
        }
        if (line != kInsertPrompt)
            return false;
        m_state = State::Insert;
        return true;
    case State::Insert:
        return next(codeAfter(line, kInsert), State::Capture, QStringLiteral("insertion failed"));
    case State::Capture:
        return next(
            codeAfter(line, kCapture), State::CaptureDone, QStringLiteral("capture failed"));
    case State::CaptureDone:
        return line == kCaptureDone && end(QStringLiteral("completed"));
    default:
        return false;
    }
}

bool TestLineChecker::burnInStep(const QString &line)
{
    if (m_state == State::BurnInCard)
        return burnInCard(line);
    BurnIn &run = m_burnIns[m_current];
    static const QRegularExpression start(
        QStringLiteral("^>>>老化测试开始：(回收|出卡) (\\d+) 张(，出错即停)?$"));
    if (const QRegularExpressionMatch match = start.match(line); match.hasMatch()) {
        run.cards = match.captured(2).toInt();
        run.stopOnFailure = !match.captured(3).isEmpty();
        m_state = State::BurnInCard;
        return true;
    }
    // A dispenser that cannot be opened for the first card leaves no run behind.
    static const QRegularExpression unopened(QStringLiteral(
        "^>>>老化测试未开始：无法打开设备（打开设备：-?\\d+），请检查端口、线缆和电源$"));
    if (unopened.match(line).hasMatch())
        return end(QStringLiteral("burn-in device not opened"));
    return line == kNotBegun && run.stopRequested && end(kNeverBegan);
}

// The pane shows only failed and repeated cards and every hundredth: the cards in between passed.
void TestLineChecker::burnInPassedUpTo(int done)
{
    BurnIn &run = m_burnIns[m_current];
    if (done <= run.done)
        return;
    run.passed += done - run.done;
    run.done = done;
    run.failuresInARow = 0;
}

bool TestLineChecker::burnInCard(const QString &line)
{
    BurnIn &run = m_burnIns[m_current];
    static const QRegularExpression card(QStringLiteral("^>>>老化 第 (\\d+) 张：(\\d+|-) "
                                                        "(通过|失败) \\d+\\.\\d{3} 秒"
                                                        "(，\\S+：-?\\d+)?(，重复卡号)?$"));
    static const QRegularExpression progress(
        QStringLiteral("^>>>老化 已完成 (\\d+) 张：通过 (\\d+)，失败 (\\d+)(，重复卡号 \\d+)?$"));
    if (const QRegularExpressionMatch match = card.match(line); match.hasMatch()) {
        const int index = match.captured(1).toInt();
        const bool passed = match.captured(3) == QStringLiteral("通过");
        const bool duplicate = !match.captured(5).isEmpty();
        // A failed card names its step and code; a passed one has its number and is shown only
        // when it repeats one.
        if (index <= run.done || index > run.cards || passed == !match.captured(4).isEmpty()
            || (passed && (match.captured(2) == QStringLiteral("-") || !duplicate)))
            return false;
        burnInPassedUpTo(index - 1);
        ++run.done;
        run.passed += passed ? 1 : 0;
        run.failuresInARow = passed ? 0 : run.failuresInARow + 1;
        run.duplicates += duplicate ? 1 : 0;
        run.lastFailed = !passed;
        if (!passed && run.stopOnFailure)
            return burnInCardsDone({kStoppedOnFailure});
        if (run.failuresInARow == kFailureStreak)
            return burnInCardsDone({kFailedInARow});
        return true;
    }
    if (const QRegularExpressionMatch match = progress.match(line); match.hasMatch()) {
        const int done = match.captured(1).toInt();
        if (done % 100 != 0 || done < run.done || done > run.cards
            || match.captured(3).toInt() != run.done - run.passed)
            return false;
        burnInPassedUpTo(done);
        run.lastFailed = run.lastFailed && done == run.done;
        return match.captured(2).toInt() == run.passed;
    }
    if (line == kBoxEmpty)
        return burnInCardsDone({kBoxWasEmpty});
    if (line == kTakeLeftCard)
        return burnInCardsDone({kCardWasLeft});
    static const QRegularExpression endLine(
        QStringLiteral("^>>>老化测试结束（(.+)）：已完成 (\\d+) 张  "));
    const QRegularExpressionMatch match = endLine.match(line);
    if (!match.hasMatch())
        return false;
    const int done = match.captured(2).toInt();
    if (match.captured(1).startsWith(kChannelBlocked) && run.lastFailed && done == run.done)
        burnInCardsDone({match.captured(1)});
    // The card whose open failed has no line; those before it may have passed unshown.
    else if (match.captured(1).startsWith(kDeviceWasLost) && done >= run.done)
        burnInCardsDone({match.captured(1)});
    else if (done == run.cards)
        burnInCardsDone({kCompleted});
    // A stop ends the run after the card in hand.
    else if (run.stopRequested)
        burnInCardsDone({kStopped});
    else
        return false;
    burnInPassedUpTo(done);
    return burnInEnd(line);
}

bool TestLineChecker::burnInCardsDone(const QStringList &ends)
{
    m_burnIns[m_current].ends = ends;
    m_state = State::BurnInEnd;
    return true;
}

bool TestLineChecker::burnInEnd(const QString &line)
{
    static const QRegularExpression endLine(QStringLiteral("^>>>老化测试结束（(.+)）：(.+)$"));
    static const QRegularExpression filesLine(
        QStringLiteral("^>>>记录文件：(.+)\\.csv，(.+)\\.log$"));
    BurnIn &run = m_burnIns[m_current];
    if (m_state == State::BurnInFiles) {
        const QRegularExpressionMatch match = filesLine.match(line);
        if (!match.hasMatch() || match.captured(1) != match.captured(2))
            return fail(QStringLiteral("not the record files of the run"));
        return end(kBurnInEnds.value(run.end, kChannelWasBlocked));
    }
    const QRegularExpressionMatch match = endLine.match(line);
    if (!match.hasMatch() || !run.ends.contains(match.captured(1)))
        return fail(QStringLiteral("the run cannot end so after its lines"));
    // An empty box or a card left in the channel may follow cards that passed unshown.
    static const QRegularExpression done(QStringLiteral("^已完成 (\\d+) 张  "));
    if (run.ends.contains(kBoxWasEmpty) || run.ends.contains(kCardWasLeft)) {
        const int cards = done.match(match.captured(2)).captured(1).toInt();
        if (cards > run.cards)
            return fail(QStringLiteral("more cards than the run has"));
        burnInPassedUpTo(cards);
    }
    const QString totals = QStringLiteral("已完成 %1 张  通过 %2  失败 %3  ")
                               .arg(run.done)
                               .arg(run.passed)
                               .arg(run.done - run.passed);
    if (!match.captured(2).startsWith(totals)
        || !match.captured(2).endsWith(QStringLiteral("重复卡号 %1").arg(run.duplicates)))
        return fail(QStringLiteral("the summary is not the run's cards"));
    run.end = match.captured(1);
    m_state = State::BurnInFiles;
    return true;
}

bool TestLineChecker::next(int code, State onSuccess, const QString &failure)
{
    if (code == kNoCode)
        return false;
    if (code != 0)
        return end(failure);
    m_state = onSuccess;
    return true;
}

bool TestLineChecker::end(const QString &how)
{
    ++m_ends[how];
    ++m_ended;
    m_burnIns.remove(m_current);
    ++m_current;
    m_state = State::Idle;
    return true;
}

bool TestLineChecker::fail(const QString &why)
{
    m_error = why;
    return false;
}
