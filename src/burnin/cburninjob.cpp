// SPDX-License-Identifier: MIT
#include "burnin/cburninjob.h"

#include <QDateTime>

#include <utility>

namespace {

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 3);
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
    }
    return QString();
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
                    .arg(burnInStepName(*record.failedStep))
                    .arg(record.failedCode);
    if (record.duplicate)
        line += QStringLiteral("，重复卡号");
    return line;
}

QString burnInProgressLine(const BurnInFigures &figures)
{
    return QStringLiteral(">>>老化 已完成 %1 张：通过 %2，失败 %3")
        .arg(figures.done)
        .arg(figures.passed)
        .arg(figures.failed());
}

CBurnInJob::CBurnInJob(const ZOV_SDK &sdk, CTestGate &gate, const BurnInSettings &settings,
    QString folder, LogLine log, std::shared_ptr<CBurnInProgress> progress)
    : m_settings(settings)
    , m_folder(std::move(folder))
    , m_log(std::move(log))
    , m_progress(std::move(progress))
    , m_run(sdk, gate, settings, *this, m_progress->stopFlag())
    , m_summary(settings.mode)
{ }

void CBurnInJob::run()
{
    // Stopped while it waited for its turn: it never began, so it leaves no files behind.
    if (m_progress->stopRequested()) {
        m_log(QStringLiteral(">>>老化测试未开始：已停止"));
        m_progress->finish();
        return;
    }
    QString error;
    if (!m_writer.open(m_folder, QDateTime::currentDateTime(), m_settings.mode, &error)) {
        m_log(QStringLiteral(">>>老化测试未开始：") + error);
        m_progress->finish();
        return;
    }
    m_progress->begin(m_writer.csvPath(), m_writer.logPath());
    const QString start
        = QStringLiteral("老化测试开始：%1 %2 张%3")
              .arg(burnInModeName(m_settings.mode))
              .arg(m_settings.cards)
              .arg(m_settings.stopOnFailure ? QStringLiteral("，出错即停") : QString());
    m_writer.writeLine(start);
    m_log(QStringLiteral(">>>") + start);

    const CBurnInRun::End end = m_run.run();
    if (end == CBurnInRun::End::BoxEmpty)
        m_log(QStringLiteral(">>>卡箱内无卡，请放置好卡片后，再进行测试！！！"));
    else if (end == CBurnInRun::End::CardLeftAtFront)
        m_log(QStringLiteral(">>>请取走卡片，再进行测试！！！"));
    // Written here, before the job lets the next one in, so that its lines cannot come between
    // this run's last card and its end.
    const QString ending = QStringLiteral("老化测试结束（%1）：%2")
                               .arg(endReason(end), m_summary.figures().text());
    m_writer.writeLine(ending);
    m_log(QStringLiteral(">>>") + ending);
    m_log(QStringLiteral(">>>记录文件：%1，%2").arg(m_writer.csvPath(), m_writer.logPath()));
    m_writer.close();
    m_progress->finish();
}

// A record that can no longer be written explains the end whatever else happened: an
// unattended run must not go on without one.
QString CBurnInJob::endReason(CBurnInRun::End end) const
{
    if (!m_writer.error().isEmpty())
        return m_writer.error();
    if (end == CBurnInRun::End::ChannelBlocked)
        return burnInEndText(end) + QStringLiteral("，") + m_run.channelError();
    return burnInEndText(end);
}

void CBurnInJob::stepDone(int card, BurnInStep step, int code, qint64 ms)
{
    m_writer.writeLine(QStringLiteral("第 %1 张 %2：%3（%4 秒）")
                           .arg(card)
                           .arg(burnInStepName(step))
                           .arg(code)
                           .arg(seconds(ms)));
}

bool CBurnInJob::cardDone(const BurnInRecord &record)
{
    m_writer.writeRecord(record);
    m_summary.add(record);
    const BurnInFigures figures = m_summary.figures();
    const QString line = burnInCardLine(record);
    m_writer.writeLine(line.mid(3));
    // The pane is the operator's, and a long run would fill it with a hundred megabytes: it
    // shows what needs a look, and the record on disk keeps every card.
    if (!record.passed || record.duplicate)
        m_log(line);
    if (figures.done % kProgressLineCards == 0)
        m_log(burnInProgressLine(figures));
    m_progress->add(record, figures);
    return m_writer.error().isEmpty();
}
