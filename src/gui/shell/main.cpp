// SPDX-License-Identifier: MIT
#include "gui/shell/maindialog.h"
#include "qtcompat.h"

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
