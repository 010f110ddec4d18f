// SPDX-License-Identifier: MIT
#include "startuprun.h"

#include "benchreport.h"
#include "paintidleprobe.h"

#include <QApplication>
#include <QWidget>

int execUntilShown(QApplication &app, QWidget &window)
{
    PaintIdleProbe probe;
    QObject::connect(&probe, &PaintIdleProbe::reached, &app, [&app] {
        BenchReport::print("startup_ms", BenchReport::nanosSinceExec() / 1e6);
        BenchReport::print("hwm_kib", BenchReport::statusKib("VmHWM"));
        BenchReport::print("rss_kib", BenchReport::statusKib("VmRSS"));
        app.quit();
    });
    probe.arm(&window);
    window.show();
    return app.exec();
}
