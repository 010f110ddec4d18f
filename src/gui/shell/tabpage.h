// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

// One page of the main window: page i of the page stack is record i.
struct TabPage
{
    QWidget *pPage = nullptr; // not owned: the page stack's widget tree owns the page
    QString strName;
};
