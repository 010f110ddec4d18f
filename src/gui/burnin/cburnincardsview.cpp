// SPDX-License-Identifier: MIT
#include "gui/burnin/cburnincardsview.h"

#include "gui/burnin/chartcards.h"
#include "ui_tabburnin.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>

#include <iterator>

namespace {

// Wide enough for a 19-digit card number and the longest step name at the table's font.
constexpr std::pair<int, int> kColumnWidths[]
    = {{CBurnInTableModel::Index, 56}, {CBurnInTableModel::Started, 86},
        {CBurnInTableModel::CardNumber, 186}, {CBurnInTableModel::Result, 56},
        {CBurnInTableModel::FailedStep, 112}, {CBurnInTableModel::FailedCode, 64}};
constexpr int kRowHeight = 24;

} // namespace

void setupBurnInTable(QTableView *table, const std::pair<int, int> *widths, std::size_t count)
{
    QHeaderView *columns = table->horizontalHeader();
    for (std::size_t i = 0; i < count; ++i)
        columns->resizeSection(widths[i].first, widths[i].second);
    columns->setStretchLastSection(true);
    table->verticalHeader()->setDefaultSectionSize(kRowHeight);
    table->verticalHeader()->hide();
}

CBurnInCardsView::CBurnInCardsView(Ui_TabBurnIn &form, QWidget *page)
    : QObject(page)
    , m_form(form)
{
    // Made here rather than in the form: its object name is its class name, which the generated
    // code cannot declare as a member.
    m_chart = new ChartCards(page);
    m_chart->setObjectName(QStringLiteral("ChartCards"));
    m_chart->setGeometry(m_form.TableCards->geometry());
    m_form.TableCards->setModel(&m_cards);
    setupBurnInTable(m_form.TableCards, kColumnWidths, std::size(kColumnWidths));
    // A hidden table is brought to its newest row when it is shown: laying out 100,000 rows that
    // nobody sees, a batch at a time, would keep the window from painting.
    connect(&m_cards, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!m_form.TableCards->isHidden())
            m_form.TableCards->scrollToBottom();
    });
}

void CBurnInCardsView::clear(int reserve)
{
    m_cards.clear();
    if (reserve > 0)
        m_cards.reserve(reserve);
    m_chart->series().clear();
    m_chart->refresh();
}

void CBurnInCardsView::add(const QVector<BurnInRecord> &cards, double p95Seconds)
{
    m_cards.append(cards);
    for (const BurnInRecord &card : cards)
        m_chart->series().add(card);
    m_chart->series().setP95Seconds(p95Seconds);
    m_chart->refresh();
}

void CBurnInCardsView::showNewest()
{
    m_form.TableCards->scrollToBottom();
}

QString CBurnInCardsView::saveChart(const QString &csvPath) const
{
    if (csvPath.isEmpty() || m_chart->series().cards() == 0)
        return QStringLiteral(">>>没有可保存的图表");
    const QFileInfo csvFile(csvPath);
    const QString png = csvFile.absoluteDir().filePath(csvFile.completeBaseName() + ".png");
    if (m_chart->toImage(m_chart->size()).save(png, "PNG"))
        return QStringLiteral(">>>图表已保存：") + png;
    return QStringLiteral(">>>图表保存失败：") + png;
}
