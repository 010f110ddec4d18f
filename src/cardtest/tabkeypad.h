// SPDX-License-Identifier: MIT
#pragma once

#include "cardtest/ccardtaskcallback.h"
#include "shell/mainwindowpxy.h"

#include <QDialog>

// The card test page. Lives on the GUI thread.
class TabKeypad : public QDialog, public MainWindowPxy, public CCardTaskCallback
{
    Q_OBJECT

public:
    explicit TabKeypad(QWidget *parent);
    ~TabKeypad() override;

    void onRunType(int type) override;
    // Drops queued tests and stops the running one; returns once none runs any more.
    void stopTests();
};
