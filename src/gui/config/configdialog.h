// SPDX-License-Identifier: MIT
#pragma once

#include "gui/shell/customtopbardialog.h"

#include <memory>

class Ui_ConfigDialog;

// The communication settings dialog: port number, BP port and baud rate. It reads "config.ini"
// once, when constructed, and writes it only from its save button; in between the settings live
// in the form's widgets alone, so the accessors return edited values whether saved or not.
// GUI thread only.
class ConfigDialog : public CustomTopBarDialog
{
    Q_OBJECT

public:
    explicit ConfigDialog(QWidget *parent);
    ~ConfigDialog() override;

    int getCom() const;
    // 0 when no BP port is chosen, else the port's letter.
    char getBP() const;
    int getBaud() const;

private slots:
    void on_BtnComSave_clicked();
    void on_EditCom_textChanged(const QString &arg1);

private:
    void loadSettings();

    std::unique_ptr<Ui_ConfigDialog> ui;
};
