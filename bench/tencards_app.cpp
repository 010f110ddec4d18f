// SPDX-License-Identifier: MIT
// A complete ten-card run through the card test page's button, against the simulator staged in
// the working folder. The test's own waits are counted from what it reports: a 3 s head start
// before each card but the first, and 500 ms after every poll that still found a card.
#include "benchreport.h"
#include "latencymonitor.h"
#include "paintidleprobe.h"

#include "gui/shell/maindialog.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>

#include <atomic>
#include <cstdio>

namespace {

constexpr qint64 kHeadStartMs = 3000;
constexpr qint64 kPollPauseMs = 500;
const char kRunEnd[] = ">>>发卡测试完成";
const char kCardHandedOut[] = ">>>请取走您的卡片";
const char kPollMessage[] = "nCardStatus =";

std::atomic<int> polls {0};
std::atomic<int> pollsWithCard {0};
QtMessageHandler previousHandler = nullptr;

// Counts the test's channel polls, then passes every message on unchanged.
void countPolls(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.startsWith(QLatin1String(kPollMessage))) {
        ++polls;
        if (text.section(' ', -1).toInt() > 0)
            ++pollsWithCard;
    }
    previousHandler(type, context, text);
}

int countLines(const QTextDocument *document, const QString &text)
{
    int count = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        count += block.text() == text ? 1 : 0;
    return count;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    previousHandler = qInstallMessageHandler(countPolls);
    MainDialog dialog;
    auto *button = dialog.findChild<QPushButton *>("BtnSendCard10");
    auto *pane = dialog.findChild<QPlainTextEdit *>("EditLog");
    if (!button || !pane) {
        std::fprintf(stderr, "the ten-card button or the log pane is missing\n");
        return 1;
    }

    LatencyMonitor monitor;
    qint64 startNs = 0;
    QTextDocument *document = pane->document();
    const QString runEnd = QString::fromUtf8(kRunEnd);
    QObject::connect(document, &QTextDocument::contentsChanged, &app, [&] {
        if (document->lastBlock().text() != runEnd)
            return;
        const double runMs = (BenchReport::nanosNow() - startNs) / 1e6;
        monitor.stop();
        const int cards = countLines(document, QString::fromUtf8(kCardHandedOut));
        const qint64 mandatedMs = (cards - 1) * kHeadStartMs + pollsWithCard * kPollPauseMs;
        BenchReport::print("cards", qint64(cards));
        BenchReport::print("polls", qint64(polls));
        BenchReport::print("mandated_ms", mandatedMs);
        BenchReport::print("run_ms", runMs);
        BenchReport::print("own_share_pct", 100.0 * (runMs - mandatedMs) / runMs);
        BenchReport::print("run_max_lateness_ms", monitor.maxLatenessMs());
        BenchReport::print("run_late_firings", monitor.lateFirings());
        BenchReport::print("run_worst_stall_at_ms", monitor.worstAtMs());
        app.quit();
    });

    PaintIdleProbe shown;
    QObject::connect(&shown, &PaintIdleProbe::reached, &app, [&] {
        monitor.start();
        startNs = BenchReport::nanosNow();
        button->click();
    });
    shown.arm(&dialog);
    dialog.show();
    return app.exec();
}
