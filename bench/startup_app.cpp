// SPDX-License-Identifier: MIT
// The tool's own main, measured: the same application object and main window, shown the same
// way, with only the report added.
#include "startuprun.h"

#include "gui/shell/maindialog.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainDialog dialog;
    return execUntilShown(app, dialog);
}
