// SPDX-License-Identifier: MIT
#include "engine/burnin/cburninjob.h"

#include "engine/device/ctestgate.h"
#include "engine/settings/comsettings.h"
#include "engine/store/cstationlock.h"

#include <QDateTime>
#include <QFile>

#include <utility>

namespace {

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 3);
}

// A device_lost event's reason: the card that could not begin and the open's code, or what
// became of an open that did not return.
QString openFailure(int card, const QString &result)
{
    return QStringLiteral("第 %1 张：%2：%3")
        .arg(card)
        .arg(burnInStepName(BurnInStep::Open), result);
}

} // namespace

QString burnInEndText(CBurnInRun::End end)
{
    switch (end) {
    case CBurnInRun::End::Completed:
        return QStringLiteral("完成");
    case CBurnInRun::End::Stopped:
        return QStringLiteral("已停止");
    case CBurnInRun::End::StoppedOnFailure:
        return QStringLiteral("出错即停");
    case CBurnInRun::End::FailureStreak:
        return QStringLiteral("连续 %1 张失败").arg(CBurnInRun::kFailureStreak);
    case CBurnInRun::End::BoxEmpty:
        return QStringLiteral("卡箱内无卡");
    case CBurnInRun::End::CardLeftAtFront:
        return QStringLiteral("通道内有卡，已吐卡");
    case CBurnInRun::End::ChannelBlocked:
        return QStringLiteral("无法清理通道");
    case CBurnInRun::End::RecordFailed:
        return QStringLiteral("无法写入记录");
    case CBurnInRun::End::Interrupted:
        return QStringLiteral("窗口关闭");
    case CBurnInRun::End::VerdictSettled:
        return QStringLiteral("无法达标");
    case CBurnInRun::End::DeviceLost:
        return QStringLiteral("设备连接中断");
    case CBurnInRun::End::HostLost:
        return QStringLiteral("驱动进程中断");
    case CBurnInRun::End::Abandoned:
        return QStringLiteral("立即停止");
    case CBurnInRun::End::SittingFull:
        return QStringLiteral("本次张数已满");
    }
    return QString();
}

QString burnInOpenFailedText(int code)
{
    return burnInOpenFailedText(QString::number(code));
}

QString burnInOpenFailedText(const QString &result)
{
    return QStringLiteral("无法打开设备（%1：%2），请检查端口、线缆和电源")
        .arg(burnInStepName(BurnInStep::Open), result);
}

QString burnInSettledText(Qualification::Verdict verdict, bool allDone)
{
    if (allDone && verdict == Qualification::Verdict::Undecided)
        return QStringLiteral(
            "这次运行计划的卡已全部完成（未设限值），不再继续；结果见报告（生成报告）");
    return QStringLiteral("这次运行%1判定为%2，不再继续；结论见报告（生成报告）")
        .arg(allDone ? QStringLiteral("计划的卡已全部完成，") : QString(),
            Qualification::verdictText(verdict));
}

QString burnInCardLine(const BurnInRecord &record)
{
    QString line = QStringLiteral(">>>老化 第 %1 张：%2 %3 %4 秒")
                       .arg(record.index)
                       .arg(record.cardNumber.isEmpty() ? QStringLiteral("-") : record.cardNumber,
                           record.passed ? QStringLiteral("通过") : QStringLiteral("失败"),
                           seconds(record.deviceMs()));
    if (record.failedStep)
        line += QStringLiteral("，%1：%2")
                    .arg(burnInStepName(*record.failedStep), record.failureText());
    if (record.duplicate)
        line += QStringLiteral("，重复卡号");
    return line;
}

QString burnInProgressLine(const BurnInFigures &figures)
{
    QString line = QStringLiteral(">>>老化 已完成 %1 张：通过 %2，失败 %3")
                       .arg(figures.done)
                       .arg(figures.passed)
                       .arg(figures.failed());
    if (figures.duplicates > 0)
        line += QStringLiteral("，重复卡号 %1").arg(figures.duplicates);
    return line;
}

QString burnInVerdictLine(const Qualification::Plan &plan, const BurnInFigures &figures)
{
    const Qualification::Standing standing = Qualification::standing(figures);
    if (plan.test.isPlan())
        return QStringLiteral("判定：%1（%2，T = %3，r = %4）  %5")
            .arg(Qualification::verdictText(Qualification::judge(plan, standing)),
                Qualification::decisionText(Qualification::decide(plan.test,
                    Qualification::planLines(plan.test), standing.cycles, standing.failures)))
            .arg(standing.cycles)
            .arg(standing.failures)
            .arg(Qualification::planText(plan.test));
    return QStringLiteral("判定：%1  演示 MCBF %2 次（置信度 %3%，T = %4，r = %5）  限值 %6")
        .arg(Qualification::verdictText(Qualification::judge(plan, standing)))
        .arg(Qualification::demonstratedMcbf(standing.cycles, standing.failures, plan.confidence))
        .arg(plan.confidence)
        .arg(standing.cycles)
        .arg(standing.failures)
        .arg(Qualification::limitsText(plan));
}

CBurnInJob::CBurnInJob(CDeviceLink &link, CTestGate &gate, Plan plan, LogLine log,
    std::shared_ptr<CBurnInProgress> progress)
    : m_link(link)
    , m_gate(gate)
    , m_plan(std::move(plan))
    , m_log(std::move(log))
    , m_progress(std::move(progress))
{ }

void CBurnInJob::run()
{
    // Stopped while it waited for its turn: it never began, so it leaves no files behind.
    if (m_progress->stopRequested())
        return notBegun(CBurnInProgress::NotBegun::Stopped, QStringLiteral("已停止"));
    // A lock file left behind means that its holder died, perhaps in the middle of a write.
    const bool unclean = QFile::exists(CStationLock::lockPath(m_plan.resultsFolder));
    CStationLock lock(m_plan.resultsFolder);
    // Refused by a holder, or because the results folder cannot take the lock file at all.
    if (!lock.tryLock())
        return notBegun(CStationLock::isHeldByLiveProcess(m_plan.resultsFolder)
                ? CBurnInProgress::NotBegun::DeviceBusy
                : CBurnInProgress::NotBegun::RecordFailed,
            lock.error());
    CResultsStore store;
    if (!store.open(m_plan.resultsFolder, unclean))
        return notBegun(CBurnInProgress::NotBegun::RecordFailed, store.error());
    if (!store.notice().isEmpty())
        m_log(QStringLiteral(">>>") + store.notice());
    m_librarySha256 = fileSha256(m_plan.libraryPath);
    if (!(m_plan.continueRunId.isEmpty() ? beginRun(store) : continueRun(store)))
        return;
    m_store = &store;
    m_plan.settings.endOnFailureStreak = !m_plan.limits.test.isPlan();

    CBurnInRun run(m_link, m_gate, m_plan.settings, *this, m_progress->stopFlag());
    run.setSeenNumbers(m_seenNumbers);
    m_seenNumbers.clear();
    const CBurnInRun::End end = run.run();
    if (end == CBurnInRun::End::BoxEmpty)
        m_log(QStringLiteral(">>>卡箱内无卡，请放置好卡片后，再进行测试！！！"));
    else if (end == CBurnInRun::End::CardLeftAtFront)
        m_log(QStringLiteral(">>>请取走卡片，再进行测试！！！"));
    CBurnInProgress::Outcome outcome = endStretch(end, run);
    m_writer.close();
    m_store = nullptr;
    outcome.recordFailed = recordFailed();
    m_progress->finish(outcome);
}

// Written here, before the job lets the next one in, so that its lines cannot come between this
// run's last card and its end. The verdict comes first: the end event closes the stretch.
CBurnInProgress::Outcome CBurnInJob::endStretch(CBurnInRun::End end, const CBurnInRun &run)
{
    const BurnInFigures figures = m_summary.figures();
    const Qualification::Verdict verdict
        = Qualification::judge(m_plan.limits, Qualification::standing(figures));
    const QString reason = endReason(end, run);
    const QString ending
        = QStringLiteral("老化测试结束（%1）：%2%3").arg(reason, figures.text(), runIdText());
    // The card that could not begin, or was not finished, has no row: this event is its only
    // trace.
    bool lostWritten = true;
    if (end == CBurnInRun::End::DeviceLost)
        lostWritten = addEvent(
            ResultsEventKind::DeviceLost, openFailure(run.lostCard(), run.openFailure()));
    else if (end == CBurnInRun::End::HostLost)
        lostWritten = addEvent(ResultsEventKind::HostLost,
            QStringLiteral("第 %1 张：%2").arg(run.lostCard()).arg(run.hostLost()));
    const bool verdictWritten = addEvent(ResultsEventKind::Verdict, resultsVerdictKey(verdict));
    const bool endWritten = addEvent(ResultsEventKind::End, reason);
    m_eventFailed = !lostWritten || !verdictWritten || !endWritten;
    m_writer.writeLine(ending);
    m_log(QStringLiteral(">>>") + ending);
    if (m_plan.limits.hasLimit()) {
        const QString judged = burnInVerdictLine(m_plan.limits, figures);
        m_writer.writeLine(judged);
        m_log(QStringLiteral(">>>") + judged);
    }
    m_log(QStringLiteral(">>>记录文件：%1，%2").arg(m_writer.csvPath(), m_writer.logPath()));
    CBurnInProgress::Outcome outcome;
    outcome.end = end;
    outcome.verdict = verdict;
    outcome.reason = reason;
    outcome.openCode = run.openCode();
    return outcome;
}

QString CBurnInJob::runIdText() const
{
    return m_plan.namesRunId ? QStringLiteral("，运行 ID ") + m_runId : QString();
}

CBurnInJob::FirstOpen CBurnInJob::openDevice()
{
    FirstOpen opened;
    CDeviceLink::Result result;
    if (!m_gate.call(
            [&] { result = m_link.call(DriverProtocol::open(m_plan.settings.connection)); })
        || result.answer == CDeviceLink::Answer::Abandoned) {
        opened.stopped = true;
        return opened;
    }
    switch (result.answer) {
    case CDeviceLink::Answer::Returned:
        opened.code = result.reply.code;
        opened.result = QString::number(result.reply.code);
        break;
    case CDeviceLink::Answer::NoReply:
    case CDeviceLink::Answer::DriverCrash:
        opened.result = burnInOutcomeName(result.answer == CDeviceLink::Answer::NoReply
                ? BurnInOutcome::NoReply
                : BurnInOutcome::DriverCrash);
        opened.fault = result.answer == CDeviceLink::Answer::NoReply
            ? ResultsEventKind::DriverHang
            : ResultsEventKind::DriverCrash;
        opened.why = result.why;
        break;
    case CDeviceLink::Answer::HostLost:
    case CDeviceLink::Answer::Abandoned:
        opened.why = result.why;
        break;
    }
    return opened;
}

// Why the sitting's first open did not open the device, for the pane.
QString CBurnInJob::FirstOpen::text() const
{
    return result.isEmpty() ? why : burnInOpenFailedText(result);
}

bool CBurnInJob::recordFailed() const
{
    return m_eventFailed || !m_storeError.isEmpty() || !m_writer.error().isEmpty();
}

bool CBurnInJob::beginRun(CResultsStore &store)
{
    // A plan sets the cards to plan: as many as it takes to decide, over as many sittings.
    if (m_plan.limits.test.isPlan())
        m_plan.settings.cards = static_cast<int>(Qualification::planLines(m_plan.limits.test).n0);
    const BurnInSettings &settings = m_plan.settings;
    m_plan.limits.plannedCards = settings.cards;
    // A station that cannot reach its dispenser has no run to record: nothing is written.
    const FirstOpen opened = openDevice();
    if (opened.stopped) {
        notBegun(CBurnInProgress::NotBegun::Stopped, QStringLiteral("已停止"));
        return false;
    }
    if (opened.code != DeviceArguments::kOk) {
        notBegun(CBurnInProgress::NotBegun::DeviceUnavailable, opened.text(),
            Qualification::Verdict::Undecided, opened.code.value_or(0));
        return false;
    }
    const QDateTime now = QDateTime::currentDateTime();
    QString error;
    if (!m_writer.open(m_plan.resultsFolder, now, settings.mode,
            BurnInInput::fileNamePart(m_plan.unit.serial), &error)) {
        notBegun(CBurnInProgress::NotBegun::RecordFailed, error);
        return false;
    }
    ResultsRunPlan plan;
    plan.station = m_plan.station;
    plan.mode = settings.mode;
    plan.cardsPlanned = settings.cards;
    plan.stopOnFailure = settings.stopOnFailure;
    plan.createdAt = now;
    plan.csvPath = m_writer.csvPath();
    plan.logPath = m_writer.logPath();
    plan.unit = m_plan.unit;
    plan.limits = m_plan.limits;
    plan.connection = connectionText(settings.connection);
    m_runId = store.createRun(plan);
    m_store = &store;
    if (m_runId.isEmpty() || !addEvent(ResultsEventKind::Start)) {
        // Nothing of the run is anywhere: its empty files would only stand in the history.
        m_writer.close();
        QFile::remove(plan.csvPath);
        QFile::remove(plan.logPath);
        notBegun(CBurnInProgress::NotBegun::RecordFailed, store.error());
        return false;
    }
    m_summary = CBurnInSummary(settings.mode);
    m_progress->begin(
        m_writer.csvPath(), m_writer.logPath(), m_runId, m_plan.limits, settings.firstCard);
    const QString start
        = QStringLiteral("老化测试开始：%1 %2 张%3%4%5")
              .arg(burnInModeName(settings.mode))
              .arg(settings.cards)
              .arg(settings.stopOnFailure ? QStringLiteral("，出错即停") : QString(), unitText(),
                  runIdText());
    m_writer.writeLine(start);
    m_writer.writeLine(QStringLiteral("连接：") + connectionText(settings.connection));
    m_log(QStringLiteral(">>>") + start);
    return true;
}

// The run goes on under its own id with the settings it was created with, from the card after
// the last one the database holds, whatever the CSV says.
bool CBurnInJob::continueRun(CResultsStore &store)
{
    const std::optional<ResultsRunPlan> plan = store.run(m_plan.continueRunId);
    if (!plan) {
        if (store.missing())
            notBegun(CBurnInProgress::NotBegun::NoSuchRun,
                QStringLiteral("记录中没有运行 %1").arg(m_plan.continueRunId));
        else
            notBegun(CBurnInProgress::NotBegun::RecordFailed, store.error());
        return false;
    }
    const QVector<BurnInRecord> recorded = store.cards(m_plan.continueRunId);
    const int last = store.lastCardIndex(m_plan.continueRunId);
    if (last < 0) {
        notBegun(CBurnInProgress::NotBegun::RecordFailed, store.error());
        return false;
    }
    BurnInSettings &settings = m_plan.settings;
    // The connection is the station's wiring of today, not of the run's first stretch.
    // So is the deadline's grace.
    settings = {plan->cardsPlanned, plan->mode, plan->stopOnFailure, last + 1,
        m_plan.settings.connection, m_plan.settings.hangGrace};
    m_plan.unit = plan->unit;
    m_plan.limits = plan->qualification();
    if (settled(recorded))
        return false;
    m_runId = m_plan.continueRunId;
    m_store = &store;
    // The unit keeps its record; only the attempt is noted, so a connection that keeps
    // dropping shows in the run's report.
    const FirstOpen opened = openDevice();
    if (opened.stopped) {
        notBegun(CBurnInProgress::NotBegun::Stopped, QStringLiteral("已停止"));
        return false;
    }
    if (opened.code != DeviceArguments::kOk) {
        bool noted = !opened.fault || addEvent(*opened.fault, opened.why);
        noted = noted
            && (opened.result.isEmpty() ? addEvent(ResultsEventKind::HostLost,
                    QStringLiteral("第 %1 张：%2").arg(settings.firstCard).arg(opened.why))
                                        : addEvent(ResultsEventKind::DeviceLost,
                                            openFailure(settings.firstCard, opened.result)));
        if (!noted)
            notBegun(CBurnInProgress::NotBegun::RecordFailed, store.error());
        else
            notBegun(CBurnInProgress::NotBegun::DeviceUnavailable, opened.text(),
                Qualification::Verdict::Undecided, opened.code.value_or(0));
        return false;
    }
    QString error;
    if (!m_writer.reopen(plan->csvPath, plan->logPath, plan->mode, recorded, &error)) {
        notBegun(CBurnInProgress::NotBegun::RecordFailed, error);
        return false;
    }
    if (!addEvent(ResultsEventKind::Continue)) {
        notBegun(CBurnInProgress::NotBegun::RecordFailed, store.error());
        return false;
    }
    m_summary = CBurnInSummary(settings.mode);
    m_progress->begin(
        m_writer.csvPath(), m_writer.logPath(), m_runId, m_plan.limits, settings.firstCard);
    for (const BurnInRecord &card : recorded) {
        m_summary.add(card);
        m_progress->add(card, m_summary.figures());
        if (!card.cardNumber.isEmpty())
            m_seenNumbers.insert(card.cardNumber);
    }
    const QString start
        = QStringLiteral("老化测试继续：%1 %2 张，从第 %3 张起%4%5%6")
              .arg(burnInModeName(settings.mode))
              .arg(settings.cards)
              .arg(settings.firstCard)
              .arg(settings.stopOnFailure ? QStringLiteral("，出错即停") : QString(), unitText(),
                  runIdText());
    m_writer.writeLine(start);
    m_writer.writeLine(QStringLiteral("连接：") + connectionText(settings.connection));
    m_log(QStringLiteral(">>>") + start);
    return true;
}

// The unit, the person and the limits for the start line; empty when none is given.
QString CBurnInJob::unitText() const
{
    QString text;
    const BurnInUnit &unit = m_plan.unit;
    if (!unit.serial.isEmpty())
        text += QStringLiteral("，序列号 ") + unit.serial;
    if (!unit.model.isEmpty())
        text += QStringLiteral("，型号 ") + unit.model;
    if (!unit.operatorName.isEmpty())
        text += QStringLiteral("，操作员 ") + unit.operatorName;
    // A continued run keeps the limits of its record, whatever a front end offers now.
    if (!m_plan.limitsShown.isEmpty() && m_plan.continueRunId.isEmpty())
        text += QStringLiteral("，") + m_plan.limitsShown;
    else if (m_plan.limits.test.isPlan())
        text += QStringLiteral("，判定 ") + Qualification::limitsText(m_plan.limits);
    else if (m_plan.limits.hasLimit())
        text += QStringLiteral("，限值 ") + Qualification::limitsText(m_plan.limits);
    return text;
}

// Its verdict is final: more cards cannot change it, so the run is not taken on again.
bool CBurnInJob::settled(const QVector<BurnInRecord> &recorded)
{
    CBurnInSummary recordedSummary(m_plan.settings.mode);
    for (const BurnInRecord &card : recorded)
        recordedSummary.add(card);
    const Qualification::Verdict verdict
        = Qualification::judge(m_plan.limits, Qualification::standing(recordedSummary.figures()));
    const bool allDone = m_plan.settings.firstCard > m_plan.settings.cards;
    // A plan that has accepted is as final as any rejection.
    const bool final = verdict == Qualification::Verdict::Fail
        || (m_plan.limits.test.isPlan() && verdict == Qualification::Verdict::Pass);
    if (!allDone && !final)
        return false;
    notBegun(CBurnInProgress::NotBegun::RunSettled, burnInSettledText(verdict, allDone), verdict);
    return true;
}

void CBurnInJob::notBegun(CBurnInProgress::NotBegun kind, const QString &why,
    Qualification::Verdict verdict, int openCode)
{
    m_log(QStringLiteral(">>>老化测试未开始：") + why);
    CBurnInProgress::Outcome outcome;
    outcome.notBegun = kind;
    outcome.reason = why;
    outcome.verdict = verdict;
    outcome.openCode = openCode;
    m_progress->finish(outcome);
}

bool CBurnInJob::addEvent(ResultsEventKind kind, const QString &reason)
{
    ResultsRunEvent event;
    event.kind = kind;
    event.reason = reason;
    // The deadlines the stretch's calls were held to.
    if (kind == ResultsEventKind::Start || kind == ResultsEventKind::Continue)
        event.reason = QStringLiteral("hang_grace=%1")
                           .arg(double(m_plan.settings.hangGrace.count()) / 1000.0);
    event.toolVersion = QStringLiteral(CDT_VERSION);
    event.libraryPath = m_plan.libraryPath;
    event.librarySha256 = m_librarySha256;
    return m_store->addEvent(m_runId, event);
}

// A record that can no longer be written explains the end whatever else happened: an
// unattended run must not go on without one.
QString CBurnInJob::endReason(CBurnInRun::End end, const CBurnInRun &run) const
{
    if (!m_storeError.isEmpty())
        return m_storeError;
    if (!m_writer.error().isEmpty())
        return m_writer.error();
    // Both say what to mend before the run is continued: the tool cannot tell a full bin from a
    // jam by the library's code.
    if (end == CBurnInRun::End::ChannelBlocked)
        return QStringLiteral("%1，%2，请清空回收箱并清理通道后继续")
            .arg(burnInEndText(end), run.channelError());
    if (end == CBurnInRun::End::DeviceLost)
        return QStringLiteral("%1，%2，请检查端口、线缆和电源后继续")
            .arg(burnInEndText(end), openFailure(run.lostCard(), run.openFailure()));
    if (end == CBurnInRun::End::HostLost)
        return QStringLiteral("%1，第 %2 张未记录：%3，可继续")
            .arg(burnInEndText(end))
            .arg(run.lostCard())
            .arg(run.hostLost());
    if (end == CBurnInRun::End::Abandoned)
        return QStringLiteral("%1，第 %2 张未完成，不计入")
            .arg(burnInEndText(end))
            .arg(run.lostCard());
    if (end == CBurnInRun::End::SittingFull)
        return QStringLiteral("%1（每次至多 %2 张），尚未判定，请继续")
            .arg(burnInEndText(end))
            .arg(m_plan.settings.sittingCards);
    if (end == CBurnInRun::End::VerdictSettled && m_plan.limits.test.isPlan()) {
        const Qualification::Standing standing = Qualification::standing(m_summary.figures());
        return QStringLiteral("试验方案已判定：%1")
            .arg(Qualification::decisionText(Qualification::decide(m_plan.limits.test,
                Qualification::planLines(m_plan.limits.test), standing.cycles, standing.failures)));
    }
    return burnInEndText(end);
}

void CBurnInJob::stepDone(int card, BurnInStep step, int code, qint64 ms, BurnInOutcome outcome)
{
    const QString result
        = outcome == BurnInOutcome::DeviceCode ? QString::number(code) : burnInOutcomeName(outcome);
    m_writer.writeLine(QStringLiteral("第 %1 张 %2：%3（%4 秒）")
                           .arg(card)
                           .arg(burnInStepName(step), result, seconds(ms)));
}

void CBurnInJob::driverFault(ResultsEventKind kind, const QString &reason)
{
    m_log(QStringLiteral(">>>老化 %1").arg(reason));
    if (!addEvent(kind, reason) && m_storeError.isEmpty())
        m_storeError = m_store->error();
}

// A host after the sitting's first: the library it loaded goes into the record, so that one
// changed in the middle of a run shows.
void CBurnInJob::hostStarted()
{
    if (++m_hostStarts == 1 || !m_store)
        return;
    m_librarySha256 = fileSha256(m_plan.libraryPath);
    if (!addEvent(ResultsEventKind::HostStart) && m_storeError.isEmpty())
        m_storeError = m_store->error();
}

// The database first: a card is on disk there before its CSV row, and before the next card.
bool CBurnInJob::cardDone(const BurnInRecord &record)
{
    if (!m_store->addCard(m_runId, record)) {
        m_storeError = m_store->error();
        return false;
    }
    m_writer.writeRecord(record);
    m_summary.add(record);
    const BurnInFigures figures = m_summary.figures();
    const QString line = burnInCardLine(record);
    m_writer.writeLine(line.mid(3));
    // The pane is the operator's, and a long run would fill it with a hundred megabytes: it
    // shows what needs a look, and the record on disk keeps every card.
    if (!record.passed) {
        m_log(line);
    } else if (record.duplicate && m_duplicateLines < kDuplicateLines) {
        m_log(line);
        if (++m_duplicateLines == kDuplicateLines)
            m_log(
                QStringLiteral(">>>重复卡号已显示 %1 张，此后只在进度中计数").arg(kDuplicateLines));
    }
    if (figures.done % kProgressLineCards == 0) {
        const QString progress = m_plan.progressLine
            ? m_plan.progressLine(figures, m_plan.limits, m_plan.settings.firstCard)
            : burnInProgressLine(figures);
        if (!progress.isEmpty())
            m_log(progress);
    }
    m_progress->add(record, figures);
    return m_writer.error().isEmpty();
}

bool CBurnInJob::verdictSettled() const
{
    return Qualification::shouldEndEarly(
        m_plan.limits, Qualification::standing(m_summary.figures()));
}
