// SPDX-License-Identifier: MIT
#pragma once

#include "shell/customtopbardialog.h"

// The communication settings dialog. GUI thread only.
class ConfigDialog : public CustomTopBarDialog
{
    Q_OBJECT

public:
    explicit ConfigDialog(QWidget *parent);
    ~ConfigDialog() override;

    int getCom();
    char getBP();
    int getBaud();
};
