// SPDX-License-Identifier: MIT
#include "gui/burnin/cburninhistoryview.h"

#include "engine/burnin/cburninprogress.h"
#include "engine/station/cstation.h"
#include "engine/store/burninhistory.h"
#include "ui_tabburnin.h"

#include <QListWidgetItem>

namespace {

// ComboScope's items, in order.
enum HistoryScope { StationScope, FleetScope };
// Between ComboScope and ListRuns below it, as between the rows of buttons above.
constexpr int kScopeGap = 6;

} // namespace

CBurnInHistoryView::CBurnInHistoryView(CStation &station, Ui_TabBurnIn &form, QObject *page)
    : QObject(page)
    , m_station(station)
    , m_form(form)
{
    // Without a server there is one scope, and the list keeps the place the other views have.
    if (!m_station.serverText().isEmpty()) {
        QRect list = m_form.ListRuns->geometry();
        list.setTop(m_form.ComboScope->geometry().bottom() + 1 + kScopeGap);
        m_form.ListRuns->setGeometry(list);
    }
    connect(
        m_form.ListRuns, &QListWidget::currentRowChanged, this, &CBurnInHistoryView::chosenChanged);
    connect(m_form.ListRuns, &QListWidget::itemActivated, this, &CBurnInHistoryView::activated);
    connect(m_form.EditFilter, &QLineEdit::textChanged, this, &CBurnInHistoryView::filter);
    connect(m_form.ComboScope, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (isShown())
            scan();
    });
    connect(&m_station, &CStation::historyRead, this, &CBurnInHistoryView::showHistory);
    // The list shows the newest page at a glance; the fleet panel pages and filters them all.
    connect(&m_station, &CStation::fleetRead, this,
        [this](const ResultsFleet::FleetPage &page, const QString &failure) {
            m_pageFailure = failure;
            fillFleet(page.runs);
        });
    connect(&m_station, &CStation::modelsRead, this,
        [this](const QVector<ResultsFleet::ModelFigures> &models, const QString &failure) {
            m_fleetModels = models;
            m_modelsFailure = failure;
            if (m_fleetListed && fleetShown())
                fillFleet(m_runs);
        });
}

bool CBurnInHistoryView::isShown() const
{
    return !m_form.ListRuns->isHidden();
}

void CBurnInHistoryView::scan()
{
    if (fleetShown()) {
        m_station.readFleet();
        m_station.readModels();
    } else
        m_station.readHistory(m_station.run() ? m_station.run()->runId() : QString());
}

bool CBurnInHistoryView::fleetShown() const
{
    return !m_station.serverText().isEmpty() && m_form.ComboScope->currentIndex() == FleetScope;
}

void CBurnInHistoryView::showHistory(
    const QVector<ResultsRunSummary> &runs, const QStringList &skipped, const QStringList &notices)
{
    for (const QString &notice : notices)
        emit line(QStringLiteral(">>>") + notice);
    for (const QString &skip : skipped) {
        if (!m_reportedSkips.contains(skip)) {
            m_reportedSkips.insert(skip);
            emit line(QStringLiteral(">>>不是老化测试记录，已跳过：") + skip);
        }
    }
    m_fleetListed = false;
    fill({}, runs);
}

void CBurnInHistoryView::fillFleet(const QVector<ResultsRunSummary> &runs)
{
    // A server that cannot be read at all fails both reads: one line says so.
    QStringList failures;
    if (!m_pageFailure.isEmpty())
        failures << QStringLiteral("无法读取全部工位的记录：") + m_pageFailure;
    else if (!m_modelsFailure.isEmpty())
        failures << QStringLiteral("无法读取型号汇总：") + m_modelsFailure;
    m_fleetListed = true;
    fill(m_fleetModels, runs, failures);
}

void CBurnInHistoryView::fill(const QVector<ResultsFleet::ModelFigures> &models,
    const QVector<ResultsRunSummary> &runs, const QStringList &failures)
{
    QListWidget *list = m_form.ListRuns;
    // The run the operator chose stays chosen when the list is read again.
    const int current = runIndex(list->currentRow());
    const QString chosen = current >= 0 ? m_runs.at(current).runId : QString();
    m_runs = runs;
    m_models = models;
    list->clear();
    for (const QString &failure : failures) {
        auto *item = new QListWidgetItem(failure, list);
        // libpq's words can be longer than the list is wide.
        item->setToolTip(failure);
    }
    for (int i = 0; i < models.size(); ++i)
        new QListWidgetItem(list);
    m_headRows = list->count();
    // Read as plainly as the runs, but nothing to choose, continue or report on.
    for (int row = 0; row < m_headRows; ++row)
        list->item(row)->setFlags(Qt::ItemIsEnabled);
    showModelLines();
    for (const ResultsRunSummary &run : runs) {
        auto *item = new QListWidgetItem(burnInHistoryLabel(run), list);
        item->setToolTip(run.plan.csvPath);
        // Its own page, or another program, shows a run in progress; as history it opens once
        // it has ended.
        if (run.state == ResultsRunState::Running)
            item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
        if (!chosen.isEmpty() && run.runId == chosen)
            list->setCurrentItem(item);
    }
    filter();
    emit scanned();
}

void CBurnInHistoryView::setConfidence(int confidence)
{
    m_confidence = confidence;
    showModelLines();
}

void CBurnInHistoryView::showModelLines()
{
    const int first = m_headRows - int(m_models.size());
    for (int i = 0; i < m_models.size(); ++i)
        m_form.ListRuns->item(first + i)->setText(
            ResultsFleet::modelLine(m_models.at(i), m_confidence));
}

// Rows are hidden rather than removed, so that the rows of the list stay the runs of m_runs. A
// model's line stays while one of its runs is shown.
void CBurnInHistoryView::filter()
{
    QListWidget *list = m_form.ListRuns;
    const QString text = m_form.EditFilter->text().trimmed();
    QSet<QString> shownModels;
    for (int run = 0; run < m_runs.size(); ++run) {
        const ResultsRunPlan &plan = m_runs.at(run).plan;
        const bool shown = ResultsFleet::matches(plan, text);
        if (shown)
            shownModels.insert(plan.unit.model);
        list->item(m_headRows + run)->setHidden(!shown);
    }
    const int firstModel = m_headRows - int(m_models.size());
    for (int i = 0; i < m_models.size(); ++i)
        list->item(firstModel + i)->setHidden(!shownModels.contains(m_models.at(i).model));
    // A hidden run must not stay the one that 继续 and 生成报告 act on.
    const int current = list->currentRow();
    if (current >= 0 && list->item(current)->isHidden())
        list->setCurrentRow(-1);
    emit chosenChanged();
}

int CBurnInHistoryView::runIndex(int row) const
{
    const int run = row - m_headRows;
    return row >= 0 && run >= 0 && run < m_runs.size() ? run : -1;
}

// The fleet's runs are there to be looked at: 继续 and 生成报告 act on this station's record.
const ResultsRunSummary *CBurnInHistoryView::chosenRun() const
{
    const int row = m_form.ListRuns->currentRow();
    const int run = runIndex(row);
    if (!isShown() || fleetShown() || run < 0 || m_form.ListRuns->item(row)->isHidden())
        return nullptr;
    return &m_runs.at(run);
}

// The cards of a run on the server stay there: the page opens this station's runs.
void CBurnInHistoryView::activated(QListWidgetItem *item)
{
    const int index = runIndex(m_form.ListRuns->row(item));
    if (index >= 0 && !fleetShown())
        emit openRequested(m_runs.at(index));
}

// A run judged 不合格 stays so: more cards cannot mend it.
bool CBurnInHistoryView::resumable(const ResultsRunSummary &run)
{
    return (run.state == ResultsRunState::Interrupted || run.state == ResultsRunState::Incomplete)
        && run.verdict != Qualification::Verdict::Fail;
}

// Any run with cards is judged from its record, one whose process died too; one that is being
// run right now is reported when it ends.
bool CBurnInHistoryView::reportable(const ResultsRunSummary &run)
{
    return run.cardsDone > 0 && run.state != ResultsRunState::Running;
}
