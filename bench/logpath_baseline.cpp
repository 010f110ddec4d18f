// SPDX-License-Identifier: MIT
// The fastest way to get the lines into a pane like the tool's: a plain text edit of the log
// pane's size and style in an otherwise empty frameless dialog, fed on the GUI thread in one
// loop. appendPlainText keeps the view at the newest line by itself.
#include "benchreport.h"
#include "logburst.h"
#include "paintidleprobe.h"

#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>

namespace {
const QSize kMainWindowSize(944, 583);
const QRect kLogPaneGeometry(195, 448, 716, 113);
const char kLogPaneStyle[] = "background: #242424;\n"
                             "border: 1px solid #141414;\n"
                             "border-radius: 3px;\n"
                             "font-size: 16px;\n"
                             "font-weight: 400;\n"
                             "text-align: left;\n"
                             "color: #8a8a8a;";
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QDialog dialog(nullptr, Qt::FramelessWindowHint);
    dialog.resize(kMainWindowSize);
    auto *pane = new QPlainTextEdit(&dialog);
    pane->setGeometry(kLogPaneGeometry);
    pane->setStyleSheet(kLogPaneStyle);

    LogBurst burst(pane, [pane](const QStringList &lines) {
        for (const QString &line : lines)
            pane->appendPlainText(line);
    });
    QObject::connect(&burst, &LogBurst::finished, &app, &QApplication::quit);

    PaintIdleProbe shown;
    QObject::connect(&shown, &PaintIdleProbe::reached, &burst, &LogBurst::start);
    shown.arm(&dialog);
    dialog.show();
    return app.exec();
}
