// SPDX-License-Identifier: MIT
#pragma once

#include "scopedenvironment.h"
#include "workingfolder.h"

#include <QStringList>

#include <memory>

class MainDialog;
class QPlainTextEdit;
class QPushButton;
class TabBurnIn;
class TabKeypad;

// A main window that loaded the device simulator through the real loader, from a fresh working
// folder, with the simulator's settings ("VARNAK_SIM_TAKE_MS=50" and the like) and its trace of
// every call written into that folder.
class SimulatorWindow
{
public:
    explicit SimulatorWindow(const QStringList &settings);
    ~SimulatorWindow();
    SimulatorWindow(const SimulatorWindow &) = delete;
    SimulatorWindow &operator=(const SimulatorWindow &) = delete;

    bool hasLibrary() const;
    TabKeypad *page() const;
    // Built on demand, as the page list builds it.
    TabBurnIn *burnInPage() const;
    QPushButton *button(const QString &name) const;
    QPlainTextEdit *logPane() const;

    // The log pane's lines, each card number (19 digits from 62) shown as "<number>".
    QStringList logLines() const;
    QStringList cardNumbers() const;

    // The simulator's trace: the calls with their results, and the closing "overlaps N" line
    // once the library was unloaded; "[overlaps N]" is cut off each call and kept apart.
    QStringList calls() const;
    QList<int> overlapsSeenByCalls() const;

    // Closes and destroys the window, which stops the tests and unloads the library; returns
    // how long that took in milliseconds.
    qint64 close();

private:
    QStringList rawLogLines() const;
    QStringList traceLines() const;

    WorkingFolder m_folder;
    ScopedEnvironment m_environment;
    std::unique_ptr<MainDialog> m_dialog;
};
