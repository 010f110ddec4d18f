// SPDX-License-Identifier: MIT
#include "cardtest/tabkeypad.h"

TabKeypad::TabKeypad(QWidget *parent)
    : QDialog(parent)
    , MainWindowPxy(parent)
{
    if (objectName().isEmpty())
        setObjectName("TabKeypad");
}

TabKeypad::~TabKeypad() = default;

void TabKeypad::onRunType(int type)
{
    (void)type;
}

void TabKeypad::stopTests()
{
}
