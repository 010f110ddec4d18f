// SPDX-License-Identifier: MIT
#include "qtcompat.h"
#include "shell/maindialog.h"

#include <QApplication>

// Every narrow string must be UTF-8 (literals, tr, toLocal8Bit) before the main window turns its
// Chinese literals into strings; only Qt 5 needs telling so for toLocal8Bit.
int main(int argc, char *argv[])
{
    QtCompat::useUtf8ForLocale();
    QApplication app(argc, argv);
    MainDialog dialog;
    dialog.show();
    return app.exec();
}
