// SPDX-License-Identifier: MIT
#include "config/configdialog.h"

ConfigDialog::ConfigDialog(QWidget *parent)
    : CustomTopBarDialog(parent)
{
    if (objectName().isEmpty())
        setObjectName("ConfigDialog");
}

ConfigDialog::~ConfigDialog() = default;

int ConfigDialog::getCom()
{
    return 0;
}

char ConfigDialog::getBP()
{
    return 0;
}

int ConfigDialog::getBaud()
{
    return 9600;
}
