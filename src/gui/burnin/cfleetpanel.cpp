// SPDX-License-Identifier: MIT
#include "gui/burnin/cfleetpanel.h"

#include "engine/burnin/qualification.h"
#include "engine/records/mcbf.h"
#include "engine/station/cstation.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace {

enum FleetTab { RunsTab, UnitTab, ModesTab, ModelsTab };
const char kDateFormat[] = "yyyy-MM-dd";
// Above the models' table while they could be read.
const char kModelsText[] = "各型号的单元合并计算";

QTableView *table(QStandardItemModel *model, QWidget *parent)
{
    auto *view = new QTableView(parent);
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->verticalHeader()->hide();
    // Columns as wide as what they hold, the last taking the rest: a page of runs reads
    // without scrolling sideways.
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

QList<QStandardItem *> row(const QStringList &texts)
{
    QList<QStandardItem *> items;
    for (const QString &text : texts)
        items << new QStandardItem(text);
    return items;
}

// One line of the tab: the table and, above it, what it shows or why not.
QWidget *tab(QLabel *text, QWidget *view, QWidget *below = nullptr)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(text);
    layout->addWidget(view, 1);
    if (below)
        layout->addWidget(below);
    return page;
}

QString percent(double share)
{
    return QString::number(share * 100, 'f', 1) + QLatin1Char('%');
}

QString verdictName(const std::optional<Qualification::Verdict> &verdict)
{
    return verdict ? Qualification::verdictText(*verdict) : QStringLiteral("未判定");
}

} // namespace

CFleetPanel::CFleetPanel(CStation &station, QWidget *page)
    : QWidget(page)
    , m_station(station)
    , m_model(new QLineEdit(this))
    , m_stationName(new QLineEdit(this))
    , m_serial(new QLineEdit(this))
    , m_from(new QLineEdit(this))
    , m_to(new QLineEdit(this))
    , m_verdict(new QComboBox(this))
    , m_tabs(new QTabWidget(this))
    , m_runs(new QStandardItemModel(this))
    , m_unit(new QStandardItemModel(this))
    , m_modes(new QStandardItemModel(this))
    , m_models(new QStandardItemModel(this))
    , m_pageText(new QLabel(this))
    , m_unitText(new QLabel(
          QStringLiteral("双击一次运行，或填写序列号后查询，看该单元在各工位的全部运行"), this))
    , m_modesText(new QLabel(QStringLiteral("填写型号（及日期）后查询，看其失效模式"), this))
    , m_modelsText(new QLabel(QString::fromUtf8(kModelsText), this))
    , m_previous(new QPushButton(QStringLiteral("上一页"), this))
    , m_next(new QPushButton(QStringLiteral("下一页"), this))
{
    setObjectName(QStringLiteral("FleetPanel"));
    // The page's style sheet paints it, opaque over the page below.
    setAttribute(Qt::WA_StyledBackground);
    const struct
    {
        QLineEdit *edit;
        const char *name;
        const char *hint;
    } edits[] = {
        {m_model, "EditFleetModel", "型号"},
        {m_stationName, "EditFleetStation", "工位"},
        {m_serial, "EditFleetSerial", "序列号"},
        {m_from, "EditFleetFrom", "从 yyyy-MM-dd"},
        {m_to, "EditFleetTo", "到 yyyy-MM-dd"},
    };
    auto *filters = new QHBoxLayout;
    for (const auto &edit : edits) {
        edit.edit->setObjectName(QLatin1String(edit.name));
        edit.edit->setPlaceholderText(QString::fromUtf8(edit.hint));
        edit.edit->setClearButtonEnabled(true);
        connect(edit.edit, &QLineEdit::returnPressed, this, [this] { query(0); });
        filters->addWidget(edit.edit);
    }
    m_verdict->setObjectName(QStringLiteral("ComboFleetVerdict"));
    m_verdict->addItem(QStringLiteral("全部判定"));
    for (Qualification::Verdict verdict : {Qualification::Verdict::Pass,
             Qualification::Verdict::Fail, Qualification::Verdict::Undecided})
        m_verdict->addItem(Qualification::verdictText(verdict), int(verdict));
    filters->addWidget(m_verdict);
    auto *search = new QPushButton(QStringLiteral("查询"), this);
    search->setObjectName(QStringLiteral("BtnFleetQuery"));
    filters->addWidget(search);
    auto *back = new QPushButton(QStringLiteral("返回"), this);
    back->setObjectName(QStringLiteral("BtnFleetBack"));
    filters->addWidget(back);

    m_runs->setHorizontalHeaderLabels({QStringLiteral("工位"), QStringLiteral("序列号"),
        QStringLiteral("型号"), QStringLiteral("开始"), QStringLiteral("张数"),
        QStringLiteral("故障"), QStringLiteral("状态"), QStringLiteral("判定")});
    m_unit->setHorizontalHeaderLabels(
        {QStringLiteral("工位"), QStringLiteral("开始"), QStringLiteral("张数"),
            QStringLiteral("故障"), QStringLiteral("判定"), QStringLiteral("演示 MCBF")});
    m_modes->setHorizontalHeaderLabels({QStringLiteral("步骤"), QStringLiteral("返回码"),
        QStringLiteral("失效"), QStringLiteral("占比"), QStringLiteral("累计占比")});
    m_models->setHorizontalHeaderLabels({QStringLiteral("型号")});
    m_runsTable = table(m_runs, this);
    m_runsTable->setObjectName(QStringLiteral("TableFleetRuns"));
    auto *paging = new QWidget(this);
    auto *pagingLayout = new QHBoxLayout(paging);
    pagingLayout->setContentsMargins(0, 0, 0, 0);
    pagingLayout->addWidget(m_previous);
    pagingLayout->addWidget(m_next);
    pagingLayout->addStretch();
    // A server's reason for failing is long: it wraps rather than runs off the panel.
    for (QLabel *text : {m_pageText, m_unitText, m_modesText, m_modelsText})
        text->setWordWrap(true);
    m_pageText->setObjectName(QStringLiteral("LabelFleetPage"));
    m_tabs->addTab(tab(m_pageText, m_runsTable, paging), QStringLiteral("运行"));
    auto *unitTable = table(m_unit, this);
    unitTable->setObjectName(QStringLiteral("TableFleetUnit"));
    m_unitText->setObjectName(QStringLiteral("LabelFleetUnit"));
    m_tabs->addTab(tab(m_unitText, unitTable), QStringLiteral("单元履历"));
    auto *modesTable = table(m_modes, this);
    modesTable->setObjectName(QStringLiteral("TableFleetModes"));
    m_modesText->setObjectName(QStringLiteral("LabelFleetModes"));
    m_tabs->addTab(tab(m_modesText, modesTable), QStringLiteral("失效帕累托"));
    m_modelsText->setObjectName(QStringLiteral("LabelFleetModels"));
    m_tabs->addTab(tab(m_modelsText, table(m_models, this)), QStringLiteral("型号"));
    m_tabs->setObjectName(QStringLiteral("TabsFleet"));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_tabs, 1);

    connect(search, &QPushButton::clicked, this, [this] { query(0); });
    connect(back, &QPushButton::clicked, this, [this] {
        hide();
        emit closed();
    });
    connect(m_previous, &QPushButton::clicked, this,
        [this] { query(m_page.offset - CStation::kFleetPageRuns, false); });
    connect(m_next, &QPushButton::clicked, this,
        [this] { query(m_page.offset + CStation::kFleetPageRuns, false); });
    connect(m_runsTable, &QTableView::doubleClicked, this,
        [this](const QModelIndex &index) { openUnit(index.row()); });
    connect(&m_station, &CStation::fleetRead, this, &CFleetPanel::showRuns);
    connect(&m_station, &CStation::modelsRead, this, &CFleetPanel::takeModels);
    connect(&m_station, &CStation::unitHistoryRead, this, &CFleetPanel::showUnit);
    connect(&m_station, &CStation::failureModesRead, this, &CFleetPanel::showModes);
    hide();
}

void CFleetPanel::setConfidence(int confidence)
{
    m_confidence = confidence;
    showModels();
}

void CFleetPanel::open()
{
    // A hint says how to write a date: it stays whole in the font the window gives by now.
    for (QLineEdit *edit : {m_model, m_stationName, m_serial, m_from, m_to})
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(edit->placeholderText()) + 24);
    setGeometry(parentWidget()->rect());
    raise();
    show();
    // The filters are the panel's keyboard: the first takes it, 回车 in any of them queries.
    m_model->setFocus();
    query(0);
}

std::optional<ResultsFleet::FleetFilter> CFleetPanel::filter()
{
    ResultsFleet::FleetFilter filter;
    filter.model = m_model->text();
    filter.station = m_stationName->text();
    filter.serial = m_serial->text();
    if (m_verdict->currentIndex() > 0)
        filter.verdict = Qualification::Verdict(m_verdict->currentData().toInt());
    for (const auto &[edit, day] : {std::pair {m_from, &filter.from}, {m_to, &filter.to}}) {
        const QString text = edit->text().trimmed();
        *day = QDate::fromString(text, QLatin1String(kDateFormat));
        if (!text.isEmpty() && !day->isValid()) {
            m_pageText->setText(
                QStringLiteral("日期“%1”无法识别：请写成 2026-12-31 的形式").arg(text));
            return std::nullopt;
        }
    }
    return filter;
}

void CFleetPanel::query(int offset, bool withModels)
{
    const std::optional<ResultsFleet::FleetFilter> chosen = filter();
    if (!chosen)
        return;
    m_previous->setEnabled(false);
    m_next->setEnabled(false);
    m_asked = *chosen;
    m_askedOffset = std::max(offset, 0);
    m_station.readFleet(m_asked, m_askedOffset, CStation::kFleetPageRuns);
    if (withModels)
        m_station.readModels();
    if (!chosen->serial.trimmed().isEmpty())
        m_station.readUnitHistory(chosen->serial);
    if (!chosen->model.trimmed().isEmpty())
        m_station.readFailureModes(chosen->model, chosen->from, chosen->to);
}

void CFleetPanel::showRuns(const ResultsFleet::FleetPage &page, const QString &failure)
{
    if (isHidden()
        || (failure.isEmpty() && (!(page.filter == m_asked) || page.offset != m_askedOffset)))
        return;
    m_runs->removeRows(0, m_runs->rowCount());
    m_pageFailed = !failure.isEmpty();
    if (m_pageFailed) {
        m_pageText->setText(QStringLiteral("无法读取全部工位的记录：") + failure);
        emit line(QStringLiteral(">>>") + m_pageText->text());
        return;
    }
    m_page = page;
    for (const ResultsRunSummary &run : page.runs) {
        m_runs->appendRow(row({run.plan.station, run.plan.unit.serial, run.plan.unit.model,
            run.plan.createdAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
            QString::number(run.cardsDone), QString::number(run.cardsDone - run.passed),
            resultsRunStateName(run.state), verdictName(run.verdict)}));
    }
    const int pages
        = std::max(1, (page.total + CStation::kFleetPageRuns - 1) / CStation::kFleetPageRuns);
    m_pageText->setText(QStringLiteral("第 %1/%2 页，共 %3 次运行")
                            .arg(page.offset / CStation::kFleetPageRuns + 1)
                            .arg(pages)
                            .arg(page.total));
    emit line(QStringLiteral(">>>全部工位：") + m_pageText->text());
    m_previous->setEnabled(page.offset > 0);
    m_next->setEnabled(page.offset + page.runs.size() < page.total);
}

void CFleetPanel::showUnit(const ResultsFleet::UnitHistory &history, const QString &failure)
{
    m_unit->removeRows(0, m_unit->rowCount());
    if (!failure.isEmpty()) {
        m_unitText->setText(QStringLiteral("无法读取单元履历：") + failure);
        emit line(QStringLiteral(">>>") + m_unitText->text());
        return;
    }
    for (const ResultsFleet::UnitRun &run : history.runs) {
        m_unit->appendRow(row(
            {run.station, run.createdAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                QString::number(run.cards), QString::number(run.failures), verdictName(run.verdict),
                QStringLiteral("%1 次（%2%）")
                    .arg(Qualification::demonstratedMcbf(run.cards, run.failures, run.confidence))
                    .arg(run.confidence)}));
    }
    m_unitText->setText(QStringLiteral("单元 %1：%2 次运行，累计 %3 次")
                            .arg(history.serial)
                            .arg(history.runs.size())
                            .arg(history.cycles));
    emit line(QStringLiteral(">>>") + m_unitText->text());
}

void CFleetPanel::showModes(
    const QString &model, const QVector<ResultsFleet::FailureMode> &modes, const QString &failure)
{
    m_modes->removeRows(0, m_modes->rowCount());
    if (!failure.isEmpty()) {
        m_modesText->setText(QStringLiteral("无法读取失效模式：") + failure);
        emit line(QStringLiteral(">>>") + m_modesText->text());
        return;
    }
    qint64 failures = 0;
    for (const ResultsFleet::FailureMode &mode : modes) {
        failures += mode.failures;
        m_modes->appendRow(row({mode.step,
            mode.outcome.isEmpty() ? QString::number(mode.code) : mode.outcome,
            QString::number(mode.failures), percent(mode.share), percent(mode.cumulativeShare)}));
    }
    m_modesText->setText(QStringLiteral("型号 %1：%2 种失效模式，共 %3 次")
                             .arg(model)
                             .arg(modes.size())
                             .arg(failures));
    emit line(QStringLiteral(">>>") + m_modesText->text());
}

void CFleetPanel::takeModels(
    const QVector<ResultsFleet::ModelFigures> &models, const QString &failure)
{
    if (isHidden())
        return;
    m_modelFigures = models;
    m_modelsText->setText(failure.isEmpty() ? QString::fromUtf8(kModelsText)
                                            : QStringLiteral("无法读取型号汇总：") + failure);
    // The page, read just before, has said so when the server could not be read at all.
    if (!failure.isEmpty() && !m_pageFailed)
        emit line(QStringLiteral(">>>") + m_modelsText->text());
    showModels();
}

void CFleetPanel::showModels()
{
    m_models->removeRows(0, m_models->rowCount());
    for (const ResultsFleet::ModelFigures &model : std::as_const(m_modelFigures))
        m_models->appendRow(row({ResultsFleet::modelLine(model, m_confidence)}));
}

void CFleetPanel::openUnit(int row)
{
    if (row < 0 || row >= m_page.runs.size() || m_page.runs.at(row).plan.unit.serial.isEmpty())
        return;
    m_station.readUnitHistory(m_page.runs.at(row).plan.unit.serial);
    m_tabs->setCurrentIndex(UnitTab);
}
