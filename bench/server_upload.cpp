// SPDX-License-Identifier: MIT
// Forwards one results folder to the results server until the server has every card, as a
// station does after being cut off: CResultsUpload, its own thread, its own connections. With
// --window it runs under a QApplication with the upload's status in a shown label, as a window
// would show it, and a 1 ms timer measures the GUI thread's longest stall while the backlog goes
// out, from the label's first paint on. The server is a [results] server text; its password is
// libpq's affair.
//
//     cdt-bench-server-upload [--window] FOLDER SERVER
#include "benchreport.h"
#include "latencymonitor.h"
#include "paintidleprobe.h"

#include "engine/upload/cresultsforwarder.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <cstdio>
#include <memory>

#include <sys/resource.h>

namespace {

// A backlog that takes longer has gone wrong.
constexpr int kTimeoutMs = 600000;

// The process's CPU time, both threads, user and system.
double cpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool window = argc == 4 && qstrcmp(argv[1], "--window") == 0;
    if (argc != (window ? 4 : 3)) {
        std::fprintf(stderr, "usage: cdt-bench-server-upload [--window] FOLDER SERVER\n");
        return 2;
    }
    std::unique_ptr<QCoreApplication> app;
    if (window)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[argc - 2]);
    const QString server = QString::fromLocal8Bit(argv[argc - 1]);

    std::unique_ptr<QLabel> label;
    LatencyMonitor monitor;
    CResultsUpload upload(folder, server);
    qint64 startNs = 0;
    qint64 cards = 0;
    int status = 1;
    QObject::connect(&upload, &CResultsUpload::line,
        [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); });
    QObject::connect(&upload, &CResultsUpload::statusChanged, [&](const ResultsUploadStatus &now) {
        using State = ResultsUploadStatus::State;
        if (label)
            label->setText(resultsUploadText(now));
        if (now.state == State::Pending && cards == 0)
            cards = now.pendingCards;
        if (now.state == State::Synced || now.state == State::Unreachable) {
            status = now.state == State::Synced ? 0 : 1;
            app->quit();
        }
    });
    const auto begin = [&] {
        if (window)
            monitor.start();
        startNs = BenchReport::nanosNow();
        upload.start();
    };
    // The window's first paint, with the fonts its Chinese text needs, comes before the upload.
    PaintIdleProbe shown;
    if (window) {
        ResultsUploadStatus pending;
        pending.state = ResultsUploadStatus::State::Pending;
        label = std::make_unique<QLabel>(resultsUploadText(pending));
        label->resize(400, 30);
        QObject::connect(&shown, &PaintIdleProbe::reached, begin);
        shown.arm(label.get());
        label->show();
    } else {
        QTimer::singleShot(0, begin);
    }
    QTimer::singleShot(kTimeoutMs, app.get(), &QCoreApplication::quit);
    app->exec();
    const qint64 uploadNs = BenchReport::nanosNow() - startNs;
    if (window)
        monitor.stop();
    upload.finish(0);
    if (status != 0)
        return status;
    BenchReport::print("upload_ms", double(uploadNs) / 1e6);
    BenchReport::print("cards", cards);
    BenchReport::print("cpu_ms", cpuMs());
    if (window) {
        BenchReport::print("max_lateness_ms", monitor.maxLatenessMs());
        BenchReport::print("max_busy_ms", monitor.maxBusyMs());
        BenchReport::print("worst_busy_ms", monitor.worstBusyMs());
        BenchReport::print("worst_wait_ms", monitor.worstWaitMs());
        BenchReport::print("worst_at_ms", monitor.worstAtMs());
        BenchReport::print("late_firings", monitor.lateFirings());
    }
    return 0;
}
