// SPDX-License-Identifier: MIT
// The tool's log path: lines emitted by a test on a pool thread through the card test page's
// showLog, into the main window's log pane.
#include "logburst.h"
#include "paintidleprobe.h"

#include "gui/cardtest/tabkeypad.h"
#include "gui/shell/maindialog.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QThreadPool>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainDialog dialog;
    auto *page = dialog.findChild<TabKeypad *>();
    auto *pane = dialog.findChild<QPlainTextEdit *>("EditLog");
    if (!page || !pane) {
        std::fprintf(stderr, "the card test page or the log pane is missing\n");
        return 1;
    }

    LogBurst burst(pane, [page](const QStringList &lines) {
        QThreadPool::globalInstance()->start([page, lines] {
            for (const QString &line : lines)
                emit page->showLog(line);
        });
    });
    QObject::connect(&burst, &LogBurst::finished, &app, &QApplication::quit);

    PaintIdleProbe shown;
    QObject::connect(&shown, &PaintIdleProbe::reached, &burst, &LogBurst::start);
    shown.arm(&dialog);
    dialog.show();
    return app.exec();
}
