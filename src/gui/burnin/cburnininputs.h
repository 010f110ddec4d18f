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

    // As typed: the unit is not checked yet, and limits.plannedCards is the count. With a plan
    // in force the count is the one typed for the bound, which config.ini keeps for the next such
    // run, and limits.plannedCards the plan's n0 (0 while its fields give no plan).
    BurnInOptions options() const;
    // The plan fields as the command line checks its options (BurnInConfig::parse*): the first
    // problem, or an empty string. Nothing to check for the bound.
    QString planError() const;
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
    // The plan as the fields give it: the first problem in *error, if any.
    Qualification::TestPlan plan(QString *error) const;
    // Enables the fields that apply to the way of judging chosen, and shows a plan's n0 as the
    // count.
    void showPlan();

    Ui_TabBurnIn &m_form;
    bool m_enabled = true; // no run going on
    // SpinCount's as a person set it, which it shows again when the bound is chosen again.
    int m_typedCards = BurnInConfig::kDefaultCards;
    // config.ini's, which the page has no field for.
    std::chrono::milliseconds m_hangGrace = BurnInSettings().hangGrace;
};
