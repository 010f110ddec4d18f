// SPDX-License-Identifier: MIT
// The least a Qt Widgets program can do to open a window like the tool's: one empty frameless
// dialog of the main window's size.
#include "startuprun.h"

#include <QApplication>
#include <QDialog>

namespace {
const QSize kMainWindowSize(944, 583);
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QDialog dialog(nullptr, Qt::FramelessWindowHint);
    dialog.resize(kMainWindowSize);
    return execUntilShown(app, dialog);
}
