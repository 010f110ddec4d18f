// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"
#include "gui/burnin/cburnintablemodel.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <cstddef>
#include <utility>

class ChartCards;
class QTableView;
class Ui_TabBurnIn;

// The columns' widths, the last one stretched, and rows of one fixed height: the burn-in page's
// tables are laid out the same way.
void setupBurnInTable(QTableView *table, const std::pair<int, int> *widths, std::size_t count);

// The cards on show in the burn-in page, in its table (TableCards) or as a chart (ChartCards,
// made here in the table's place): those of the run under way, or of one opened from the history.
// A child of the page. GUI thread.
class CBurnInCardsView : public QObject
{
    Q_OBJECT

public:
    CBurnInCardsView(Ui_TabBurnIn &form, QWidget *page);

    CBurnInTableModel &cards() { return m_cards; }
    ChartCards *chart() const { return m_chart; }

    // Room for a run of this many cards.
    void clear(int reserve = 0);
    void add(const QVector<BurnInRecord> &cards, double p95Seconds);
    // Brings the table to its newest card, as when it is shown.
    void showNewest();
    // The chart beside the run's CSV as a PNG of the same name; a line for the log pane.
    QString saveChart(const QString &csvPath) const;

private:
    Ui_TabBurnIn &m_form;
    ChartCards *m_chart; // a child of the page
    CBurnInTableModel m_cards;
};
