// SPDX-License-Identifier: MIT
#include "shell/maindialog.h"

#include <QApplication>

// Every narrow string is UTF-8 in Qt 6 (literals, tr, toLocal8Bit), so start-up has no codec to
// set before the main window turns its Chinese literals into strings.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainDialog dialog;
    dialog.show();
    return app.exec();
}
