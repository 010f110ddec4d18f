// SPDX-License-Identifier: MIT
// A 10,000-card burn-in run in capture mode through the burn-in page's own controls, against the
// simulator staged in the working folder, which answers at once. Whatever a card takes beyond its
// time inside the library is the tool's own: the run engine and the record files for each card,
// and for the whole run also handing the cards to the page. Meanwhile a 1 ms timer measures the
// window's longest stall, and resident memory is read as the table and the log pane fill.
// CDT_BENCH_BURNIN_CARDS changes the number of cards, e.g. for a shorter run under callgrind or a
// longer one for a cost that grows with the rows, and CDT_BENCH_BURNIN_VIEW=chart shows the chart
// instead of the table while the run goes on. The worst stall is placed by the rows the table held
// then: one at the first or the last card is the run's start or end, one in between is the run's.
// CDT_BENCH_BURNIN_EVENTS=1 adds the longest events the GUI thread handled, on standard error.
#include "benchreport.h"
#include "latencymonitor.h"
#include "paintidleprobe.h"

#include "gui/burnin/tabburnin.h"
#include "gui/shell/maindialog.h"

#include <QApplication>
#include <QEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <utility>
#include <vector>

namespace {

constexpr int kDefaultCards = 10000;
// Memory is judged from this card on: what comes before it includes the first allocations of the
// table, the log pane and the record files, which a longer run pays only once.
constexpr int kGrowthFromCard = 1000;
constexpr double kCardsPerGrowthFigure = 1000.0;
const char kBurnInPage[] = "老化测试";

int cardsToRun()
{
    const char *text = std::getenv("CDT_BENCH_BURNIN_CARDS");
    const int cards = text ? std::atoi(text) : 0;
    return cards > 0 ? cards : kDefaultCards;
}

// Calls back when the watched button becomes enabled: the page enables 开始 again once the run's
// last card is in the table. The change is sent inside setEnabled, so nothing runs in between.
class EnabledWatch : public QObject
{
public:
    EnabledWatch(QWidget *widget, std::function<void()> enabled)
        : m_widget(widget)
        , m_enabled(std::move(enabled))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_widget && event->type() == QEvent::EnabledChange
            && m_widget->isEnabled()) {
            m_widget->removeEventFilter(this);
            m_enabled();
        }
        return false;
    }

private:
    QWidget *m_widget; // not owned
    std::function<void()> m_enabled;
};

struct Sample
{
    double cards;
    double rssKib;
};

// Least-squares slope of resident memory against cards: one steady figure over the whole run,
// where two readings could each land on either side of a step of the allocator.
double slopeKibPerCard(const std::vector<Sample> &samples)
{
    if (samples.size() < 2)
        return 0.0;
    double meanCards = 0.0;
    double meanRss = 0.0;
    for (const Sample &sample : samples) {
        meanCards += sample.cards;
        meanRss += sample.rssKib;
    }
    meanCards /= double(samples.size());
    meanRss /= double(samples.size());
    double covariance = 0.0;
    double variance = 0.0;
    for (const Sample &sample : samples) {
        covariance += (sample.cards - meanCards) * (sample.rssKib - meanRss);
        variance += (sample.cards - meanCards) * (sample.cards - meanCards);
    }
    return variance > 0.0 ? covariance / variance : 0.0;
}

qint64 threadCpuNs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// With CDT_BENCH_BURNIN_EVENTS set, times each event the GUI thread dispatches from its loop and
// keeps the longest few, with the thread's CPU time in each: tells which receiver a stall was
// spent in, and whether it was that work or a wait for a core, the disk or the X server.
class CTimedApplication : public QApplication
{
public:
    using QApplication::QApplication;

    void setTiming(bool timing, std::function<int()> rows)
    {
        m_timing = timing;
        m_rows = std::move(rows);
    }

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (!m_timing || m_depth > 0)
            return QApplication::notify(receiver, event);
        // Read before: the event may delete its receiver.
        const QObject *parent = receiver->parent();
        Longest now {0, 0, 0, receiver->metaObject()->className(), receiver->objectName(),
            int(event->type()), parent ? parent->metaObject()->className() : "",
            parent ? parent->objectName() : QString()};
        ++m_depth;
        const qint64 startNs = BenchReport::nanosNow();
        const qint64 cpuNs = threadCpuNs();
        const bool done = QApplication::notify(receiver, event);
        now.cpuNs = threadCpuNs() - cpuNs;
        now.wallNs = BenchReport::nanosNow() - startNs;
        --m_depth;
        if (now.wallNs > m_longest.front().wallNs) {
            now.rows = m_rows ? m_rows() : 0;
            m_longest.front() = std::move(now);
            std::sort(m_longest.begin(), m_longest.end(),
                [](const Longest &a, const Longest &b) { return a.wallNs < b.wallNs; });
        }
        return done;
    }

    // To standard error: the lines are for a person, not for bench/run.sh.
    void report() const
    {
        for (auto each = m_longest.rbegin(); each != m_longest.rend() && each->wallNs > 0; ++each) {
            std::fprintf(stderr,
                "event: %.3f ms, %.3f ms of it on the CPU, %d rows: %s/%s type %d in %s/%s\n",
                double(each->wallNs) / 1e6, double(each->cpuNs) / 1e6, each->rows, each->className,
                qPrintable(each->objectName), each->type, each->parentClassName,
                qPrintable(each->parentName));
        }
    }

private:
    struct Longest
    {
        qint64 wallNs = 0;
        qint64 cpuNs = 0;
        int rows = 0;
        const char *className = "";
        QString objectName;
        int type = 0;
        const char *parentClassName = "";
        QString parentName;
    };

    bool m_timing = false;
    int m_depth = 0;
    std::function<int()> m_rows;
    std::array<Longest, 8> m_longest {}; // shortest first
};

void reportOwnTimes(const CBurnInTableModel &cards, qint64 runNs)
{
    const int count = cards.rowCount();
    std::vector<qint64> own;
    own.reserve(std::size_t(count));
    qint64 libraryNs = 0;
    for (int row = 0; row < count; ++row) {
        const BurnInRecord &record = cards.record(row);
        own.push_back(record.elapsedNs - record.libraryNs);
        libraryNs += record.libraryNs;
    }
    if (own.empty())
        return;
    std::sort(own.begin(), own.end());
    const std::size_t middle = own.size() / 2;
    const double medianNs = own.size() % 2 ? double(own[middle])
                                           : (double(own[middle - 1]) + double(own[middle])) / 2;
    double sumNs = 0.0;
    for (qint64 ns : own)
        sumNs += double(ns);
    BenchReport::print("own_median_us", medianNs / 1e3);
    BenchReport::print("own_mean_us", sumNs / double(count) / 1e3);
    BenchReport::print("own_p99_us", double(own[own.size() * 99 / 100]) / 1e3);
    BenchReport::print("library_mean_us", double(libraryNs) / double(count) / 1e3);
    BenchReport::print("run_own_us_per_card", double(runNs - libraryNs) / double(count) / 1e3);
}

} // namespace

int main(int argc, char *argv[])
{
    CTimedApplication app(argc, argv);
    MainDialog dialog;
    auto *page = dialog.burnInPage();
    auto *pages = dialog.findChild<QListWidget *>("listWidget");
    auto *pane = dialog.findChild<QPlainTextEdit *>("EditLog");
    auto *count = page ? page->findChild<QSpinBox *>("SpinCount") : nullptr;
    auto *capture = page ? page->findChild<QRadioButton *>("RadioCapture") : nullptr;
    auto *start = page ? page->findChild<QPushButton *>("BtnStart") : nullptr;
    const QList<QListWidgetItem *> items = pages
        ? pages->findItems(QString::fromUtf8(kBurnInPage), Qt::MatchExactly)
        : QList<QListWidgetItem *>();
    if (!count || !capture || !start || !pane || items.isEmpty()) {
        std::fprintf(stderr, "the burn-in page, its controls or the log pane is missing\n");
        return 1;
    }

    // As the operator does: the page from the list, then the count, the mode and 开始.
    pages->setCurrentItem(items.first());
    emit pages->clicked(pages->currentIndex());
    const int cards = cardsToRun();
    count->setValue(cards);
    capture->setChecked(true);
    if (qEnvironmentVariable("CDT_BENCH_BURNIN_VIEW") == QLatin1String("chart")) {
        if (auto *chart = page->findChild<QPushButton *>("BtnShowChart"))
            chart->click();
    }

    LatencyMonitor monitor;
    CBurnInTableModel &table = page->cards();
    std::vector<Sample> samples;
    qint64 startNs = 0;
    qint64 runNs = 0;
    qint64 rssStartKib = 0;
    qint64 rssAtFromCardKib = -1;
    int fromCard = 0;
    qint64 cpuStartNs = 0;
    qint64 runCpuNs = 0;
    // The rows in the table when the worst firing so far came: the firing ends the stall, so
    // whatever the stall held has happened by then. Apart from it, the worst stall between the
    // first batch and the last, which neither the press of 开始 nor the run's end is part of.
    double worstSeenMs = -1.0;
    int worstRows = 0;
    double midWorstMs = 0.0;
    int midWorstRows = 0;
    QObject::connect(&monitor, &LatencyMonitor::ticked, &app, [&] {
        const int rows = table.rowCount();
        if (monitor.maxLatenessMs() > worstSeenMs) {
            worstSeenMs = monitor.maxLatenessMs();
            worstRows = rows;
        }
        if (rows > 0 && rows < cards && monitor.lastLatenessMs() > midWorstMs) {
            midWorstMs = monitor.lastLatenessMs();
            midWorstRows = rows;
        }
    });
    // The most rows one batch brought: what the view lays out at once grows with it.
    int maxBatchRows = 0;
    QObject::connect(&table, &QAbstractItemModel::rowsInserted, &app,
        [&](const QModelIndex &, int first, int last) {
            maxBatchRows = std::max(maxBatchRows, last - first + 1);
            const qint64 rss = BenchReport::statusKib("VmRSS");
            const int rows = table.rowCount();
            if (rssAtFromCardKib < 0 && rows >= kGrowthFromCard) {
                rssAtFromCardKib = rss;
                fromCard = rows;
            }
            if (rssAtFromCardKib >= 0)
                samples.push_back({double(rows), double(rss)});
        });

    PaintIdleProbe ended;
    EnabledWatch watch(start, [&] {
        runNs = BenchReport::nanosNow() - startNs;
        runCpuNs = threadCpuNs() - cpuStartNs;
        // The stall figure includes the paint of the full table.
        ended.arm(&dialog);
        dialog.update();
    });
    QObject::connect(&ended, &PaintIdleProbe::reached, &app, [&] {
        monitor.stop();
        app.setTiming(false, {});
        app.report();
        const int rows = table.rowCount();
        const qint64 rssEndKib = BenchReport::statusKib("VmRSS");
        BenchReport::print("cards", qint64(rows));
        BenchReport::print("summary_done", qint64(page->figures().done));
        BenchReport::print("summary_passed", qint64(page->figures().passed));
        BenchReport::print("log_lines", qint64(pane->blockCount()));
        BenchReport::print("run_ms", double(runNs) / 1e6);
        reportOwnTimes(table, runNs);
        BenchReport::print("run_max_lateness_ms", monitor.maxLatenessMs());
        BenchReport::print("run_late_firings", monitor.lateFirings());
        BenchReport::print("run_worst_stall_at_ms", monitor.worstAtMs());
        BenchReport::print(
            "run_worst_stall_at_pct", runNs > 0 ? monitor.worstAtMs() * 1e8 / double(runNs) : 0.0);
        BenchReport::print("run_worst_stall_rows", qint64(worstRows));
        BenchReport::print("run_mid_max_lateness_ms", midWorstMs);
        BenchReport::print("run_mid_worst_stall_rows", qint64(midWorstRows));
        BenchReport::print("run_worst_busy_ms", monitor.worstBusyMs());
        BenchReport::print("run_worst_wait_ms", monitor.worstWaitMs());
        BenchReport::print("run_max_busy_ms", monitor.maxBusyMs());
        BenchReport::print("run_gui_cpu_ms", double(runCpuNs) / 1e6);
        BenchReport::print("run_max_batch_rows", qint64(maxBatchRows));
        BenchReport::print("rss_start_kib", rssStartKib);
        BenchReport::print("rss_end_kib", rssEndKib);
        BenchReport::print("rss_run_growth_mib", double(rssEndKib - rssStartKib) / 1024.0);
        if (rssAtFromCardKib >= 0 && rows > fromCard) {
            BenchReport::print("rss_from_card", qint64(fromCard));
            BenchReport::print("rss_from_card_kib", rssAtFromCardKib);
            BenchReport::print("rss_growth_kib_per_1k",
                double(rssEndKib - rssAtFromCardKib) * kCardsPerGrowthFigure / (rows - fromCard));
            BenchReport::print(
                "rss_slope_kib_per_1k", slopeKibPerCard(samples) * kCardsPerGrowthFigure);
        }
        app.quit();
    });

    PaintIdleProbe shown;
    QObject::connect(&shown, &PaintIdleProbe::reached, &app, [&] {
        rssStartKib = BenchReport::statusKib("VmRSS");
        app.setTiming(qEnvironmentVariableIsSet("CDT_BENCH_BURNIN_EVENTS"),
            [&table] { return table.rowCount(); });
        monitor.start();
        cpuStartNs = threadCpuNs();
        startNs = BenchReport::nanosNow();
        start->click();
        if (start->isEnabled()) {
            std::fprintf(stderr, "the run did not start\n");
            app.exit(1);
        }
    });
    shown.arm(&dialog);
    dialog.show();
    return app.exec();
}
