// SPDX-License-Identifier: MIT
#include "gui/burnin/cburninfailuresview.h"

#include "gui/burnin/cburnincardsview.h"
#include "ui_tabburnin.h"

#include <iterator>
#include <utility>

namespace {

constexpr std::pair<int, int> kColumnWidths[]
    = {{FailureModeText::Step, 150}, {FailureModeText::Code, 100}, {FailureModeText::Count, 100},
        {FailureModeText::Share, 110}, {FailureModeText::FirstCard, 110}};

} // namespace

CBurnInFailuresView::CBurnInFailuresView(Ui_TabBurnIn &form, QObject *page)
    : QObject(page)
{
    form.TableFailures->setModel(&m_table);
    setupBurnInTable(form.TableFailures, kColumnWidths, std::size(kColumnWidths));
}

void CBurnInFailuresView::clear()
{
    m_modes.clear();
    m_table.setModes({});
}

// A batch of cards without a new failure leaves the table as it is.
void CBurnInFailuresView::add(const QVector<BurnInRecord> &cards)
{
    const int failedBefore = m_modes.failed();
    for (const BurnInRecord &card : cards)
        m_modes.add(card);
    if (m_modes.failed() != failedBefore)
        m_table.setModes(m_modes.rows());
}
