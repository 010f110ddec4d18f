// SPDX-License-Identifier: MIT
#pragma once

class QWidget;
class ZOV_SDK;

// The second base of every page: its two non-owning links to the main window and to the main
// window's device library loader. A page must be constructed with the main window as parent.
struct MainWindowPxy
{
    explicit MainWindowPxy(QWidget *mainWindow);

    QWidget *m_pMainWindow;
    ZOV_SDK *m_pSdk;
};
