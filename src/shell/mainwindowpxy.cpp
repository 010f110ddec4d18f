// SPDX-License-Identifier: MIT
#include "shell/mainwindowpxy.h"

#include "shell/maindialog.h"

MainWindowPxy::MainWindowPxy(QWidget *mainWindow)
    : m_pMainWindow(mainWindow)
    , m_pSdk(static_cast<MainDialog *>(mainWindow)->sdk())
{
}
