// SPDX-License-Identifier: MIT
// The results database: what one card's durable write costs against the least the disk allows
// (a bare fdatasync of a 200-byte append to a file), and how long the history takes to list a
// station's runs and to read back its longest one. The station holds 100 runs of 1,000 cards and
// one of 100,000, imported from CSV files as an old station's would be. Everything is written in
// a folder made in the working folder, so that it is on the disk the tool writes to.
// CDT_BENCH_STORE_CARDS changes the size of the long run.
#include "benchreport.h"
#include "benchstation.h"

#include "engine/store/cresultsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kWrites = 200;
constexpr int kRecordBytes = 200;
constexpr int kShortRuns = 100;
constexpr int kShortRunCards = 1000;
constexpr int kDefaultLongRunCards = 100000;
constexpr int kListings = 7;
constexpr int kLongReads = 3;
const QDateTime kStart(QDate(2026, 12, 8), QTime(10, 25, 32, 123));

int longRunCards()
{
    const char *text = std::getenv("CDT_BENCH_STORE_CARDS");
    const int cards = text ? std::atoi(text) : 0;
    return cards > 0 ? cards : kDefaultLongRunCards;
}

double medianMs(std::vector<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    return ns.empty() ? 0.0 : double(ns[ns.size() / 2]) / 1e6;
}

std::vector<qint64> timed(int times, const std::function<bool()> &work)
{
    std::vector<qint64> ns;
    for (int i = 0; i < times; ++i) {
        const qint64 start = BenchReport::nanosNow();
        if (!work())
            return {};
        ns.push_back(BenchReport::nanosNow() - start);
    }
    return ns;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QDir::current().filePath(QStringLiteral("store-bench-XXXXXX")));
    const QString durable = dir.filePath(QStringLiteral("durable"));
    const QString history = dir.filePath(QStringLiteral("history"));
    if (!dir.isValid() || !QDir().mkpath(durable) || !QDir().mkpath(history))
        return 1;

    const QByteArray floorPath = QDir(durable).filePath(QStringLiteral("floor")).toLocal8Bit();
    const int fd = ::open(floorPath.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const std::vector<char> bytes(kRecordBytes, 'x');
    const auto floor = timed(kWrites, [&]() {
        return fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == kRecordBytes
            && ::fdatasync(fd) == 0;
    });
    if (fd >= 0)
        ::close(fd);

    CResultsStore store;
    ResultsRunPlan plan;
    plan.cardsPlanned = kWrites;
    const QString run = store.open(durable) ? store.createRun(plan) : QString();
    int index = 0;
    const auto cards
        = timed(kWrites, [&]() { return store.addCard(run, BenchStation::card(++index, kStart)); });
    if (floor.empty() || cards.empty()) {
        std::fprintf(stderr, "durable writes failed: %s\n", qPrintable(store.error()));
        return 1;
    }
    BenchReport::print("fdatasync_floor_median_ms", medianMs(floor));
    BenchReport::print("card_write_median_ms", medianMs(cards));

    const int longCards = longRunCards();
    bool written = BenchStation::writeCsvRun(history, kStart.addDays(-1), longCards);
    for (int i = 0; written && i < kShortRuns; ++i)
        written
            = BenchStation::writeCsvRun(history, kStart.addSecs(qint64(i) * 3600), kShortRunCards);
    CResultsStore reader;
    QStringList skipped;
    const qint64 importStart = BenchReport::nanosNow();
    if (!written || !reader.open(history)
        || reader.importCsvRuns(QStringLiteral("bench"), &skipped) != kShortRuns + 1) {
        std::fprintf(stderr, "import failed: %s\n", qPrintable(reader.error()));
        return 1;
    }
    BenchReport::print("import_s", double(BenchReport::nanosNow() - importStart) / 1e9);

    QVector<ResultsRunSummary> runs;
    const auto listings = timed(kListings, [&]() {
        runs = reader.runs(false);
        return runs.size() == kShortRuns + 1;
    });
    const QString longRun = runs.isEmpty() ? QString() : runs.back().runId;
    const auto reads
        = timed(kLongReads, [&]() { return reader.cards(longRun).size() == longCards; });
    if (listings.empty() || reads.empty()) {
        std::fprintf(stderr, "reading failed: %s\n", qPrintable(reader.error()));
        return 1;
    }
    BenchReport::print("list_runs_median_ms", medianMs(listings));
    BenchReport::print("read_long_run_median_ms", medianMs(reads));
    BenchReport::print("long_run_cards", qint64(longCards));
    return 0;
}
