// SPDX-License-Identifier: MIT
#include "logburst.h"

#include "benchreport.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

namespace {
constexpr int kLines = 100000;
// A profiler run under callgrind takes fewer lines; the figures are per line anyway.
const char kLinesVariable[] = "CDT_BENCH_LOG_LINES";
constexpr int kLinesPerGrowthFigure = 10000;
// Card numbers make lines of the length and script the tool really writes.
constexpr qint64 kFirstCardNumber = 6200000000000000000LL;
} // namespace

LogBurst::LogBurst(QPlainTextEdit *pane, Delivery delivery, QObject *parent)
    : QObject(parent)
    , m_pane(pane)
    , m_delivery(std::move(delivery))
{
    connect(&m_probe, &PaintIdleProbe::reached, this, &LogBurst::onPainted);
}

QStringList LogBurst::makeLines()
{
    bool isNumber = false;
    int count = qEnvironmentVariableIntValue(kLinesVariable, &isNumber);
    if (!isNumber || count <= 0)
        count = kLines;
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral(">>>发卡卡号：%1").arg(kFirstCardNumber + i);
    return lines;
}

void LogBurst::start()
{
    m_lines = makeLines();
    QTextDocument *document = m_pane->document();
    // An empty document already has its one block, which the first line fills.
    m_expectedBlocks = (document->isEmpty() ? 0 : document->blockCount()) + int(m_lines.size());
    connect(document, &QTextDocument::blockCountChanged, this, &LogBurst::onBlockCountChanged);

    m_rssBeforeKib = BenchReport::statusKib("VmRSS");
    m_monitor.start();
    m_startNs = BenchReport::nanosNow();
    m_delivery(m_lines);
}

void LogBurst::onBlockCountChanged(int count)
{
    if (m_allIn || count < m_expectedBlocks)
        return;
    m_allIn = true;
    m_probe.arm(m_pane->viewport());
}

void LogBurst::onPainted()
{
    const qint64 elapsedNs = BenchReport::nanosNow() - m_startNs;
    m_monitor.stop();
    const qint64 growthKib = BenchReport::statusKib("VmRSS") - m_rssBeforeKib;
    const bool complete = m_pane->document()->lastBlock().text() == m_lines.last();

    BenchReport::print("log_ms", elapsedNs / 1e6);
    BenchReport::print("log_max_lateness_ms", m_monitor.maxLatenessMs());
    BenchReport::print("log_late_firings", m_monitor.lateFirings());
    BenchReport::print("log_worst_stall_at_ms", m_monitor.worstAtMs());
    BenchReport::print(
        "log_growth_kib_per_10k", double(growthKib) * kLinesPerGrowthFigure / m_lines.size());
    BenchReport::print("log_complete", qint64(complete ? 1 : 0));
    emit finished();
}
