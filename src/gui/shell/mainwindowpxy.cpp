// SPDX-License-Identifier: MIT
#include "gui/shell/mainwindowpxy.h"

#include "gui/shell/maindialog.h"

MainWindowPxy::MainWindowPxy(QWidget *mainWindow)
    : m_pMainWindow(mainWindow)
    , m_pSdk(static_cast<MainDialog *>(mainWindow)->sdk())
{ }
