// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/burninoptions.h"
#include "engine/settings/comsettings.h"

#include <QObject>

class Ui_TabBurnIn;

// The burn-in page's inputs for the next run (count, mode, unit, limits and which connection)
// as the run's options, which config.ini keeps for the next start. A child of the page. GUI
// thread.
class CBurnInInputs : public QObject
{
    Q_OBJECT

public:
    // With the options config.ini keeps.
    CBurnInInputs(Ui_TabBurnIn &form, QObject *page);

    // As typed: the unit is not checked yet, and limits.plannedCards is the count.
    BurnInOptions options() const;
    // Every input but the serial, which names one unit and is never remembered.
    void setOptions(const BurnInOptions &options);
    // ComboConfidence's, in percent.
    int confidence() const;
    // The inputs a run must not change while it goes on.
    void setEnabled(bool enabled);
    // What the next run opens: the fixed connection, or the communication settings' as given.
    ComSettings connection(const ComSettings &settings) const;

signals:
    // The count or a limit changed: the next run needs another number of cards.
    void changed();
    void confidenceChanged(int confidence);

private:
    Ui_TabBurnIn &m_form;
    // config.ini's, which the page has no field for.
    std::chrono::milliseconds m_hangGrace = BurnInSettings().hangGrace;
};
