// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninsummary.h"
#include "engine/burnin/qualification.h"

#include <QObject>

#include <optional>

class Ui_TabBurnIn;

// The burn-in page's verdict (LabelVerdict) of the cards on show, and LabelMcbf: what those
// cards demonstrate, or what the next run needs to. A child of the page. GUI thread.
class CBurnInVerdictView : public QObject
{
    Q_OBJECT

public:
    CBurnInVerdictView(Ui_TabBurnIn &form, QObject *page);

    // limits: those of the cards on show; judged: whether there is anything to judge yet (nothing
    // is judged before a run). next: the next run's limits when LabelMcbf is about it.
    void show(const Qualification::Plan &limits, const BurnInFigures &figures, bool judged,
        const std::optional<Qualification::Plan> &next);

private:
    Ui_TabBurnIn &m_form;
};
