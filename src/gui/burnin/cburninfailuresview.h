// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cfailuremodes.h"
#include "gui/burnin/cfailuremodetablemodel.h"

#include <QObject>
#include <QVector>

class Ui_TabBurnIn;

// The failure modes of the cards on show, in the burn-in page's TableFailures, tallied as the
// cards arrive. A child of the page. GUI thread.
class CBurnInFailuresView : public QObject
{
    Q_OBJECT

public:
    CBurnInFailuresView(Ui_TabBurnIn &form, QObject *page);

    void clear();
    void add(const QVector<BurnInRecord> &cards);

private:
    CFailureModes m_modes;
    CFailureModeTableModel m_table;
};
