// SPDX-License-Identifier: MIT
// A reference, not a target: the baseline's empty dialog with the tool's title as one label. Its
// start-up is what the first Chinese text alone adds (the font database, a fallback font with
// Chinese glyphs, shaping), which every window of the tool pays whatever it shows besides.
#include "startuprun.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>

namespace {
const QSize kMainWindowSize(944, 583);
const char kTitle[] = "发卡机测试工具_V0.0.1";
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QDialog dialog(nullptr, Qt::FramelessWindowHint);
    dialog.resize(kMainWindowSize);
    new QLabel(QString::fromUtf8(kTitle), &dialog);
    return execUntilShown(app, dialog);
}
