// SPDX-License-Identifier: MIT
#pragma once

class QApplication;
class QWidget;

// Shows the window, runs the event loop until the window has been painted and the loop is idle,
// reports start-up time and memory at that moment and returns the loop's exit code. Both
// start-up programs end through here, so they are measured by the same rule.
int execUntilShown(QApplication &app, QWidget &window);
