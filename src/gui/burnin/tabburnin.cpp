// SPDX-License-Identifier: MIT
#include "gui/burnin/tabburnin.h"

#include "engine/burnin/burninoptions.h"
#include "engine/burnin/cburninprogress.h"
#include "engine/records/burninunit.h"
#include "engine/station/cstation.h"
#include "engine/station/cstationdevice.h"
#include "gui/burnin/cburnincardsview.h"
#include "gui/burnin/cburninfailuresview.h"
#include "gui/burnin/cburninhistoryview.h"
#include "gui/burnin/cburnininputs.h"
#include "gui/burnin/cburninuploadview.h"
#include "gui/burnin/cburninverdictview.h"
#include "gui/burnin/cfleetpanel.h"
#include "gui/burnin/chartcards.h"
#include "gui/burnin/chartplan.h"
#include "gui/shell/maindialog.h"
#include "ui_tabburnin.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>

#include <algorithm>
#include <utility>

namespace {

// Often enough that the table and the totals follow the run, seldom enough to cost nothing.
constexpr int kProgressIntervalMs = 100;

} // namespace

TabBurnIn::TabBurnIn(CStation &station, QWidget *parent)
    : QDialog(parent)
    , MainWindowPxy(parent)
    , ui(new Ui_TabBurnIn)
    , m_station(station)
{
    ui->setupUi(this);
    m_cardsView = new CBurnInCardsView(*ui, this);
    m_failuresView = new CBurnInFailuresView(*ui, this);
    m_historyView = new CBurnInHistoryView(m_station, *ui, this);
    m_inputs = new CBurnInInputs(*ui, this);
    m_verdictView = new CBurnInVerdictView(*ui, this);
    m_planChart = new ChartPlan(this);
    m_planChart->setObjectName(QStringLiteral("ChartPlan"));
    m_planChart->setGeometry(ui->TableCards->geometry());
    // A group of their own: auto-exclusive buttons would share one group with the mode's radio
    // buttons, which have the same parent.
    auto *views = new QButtonGroup(this);
    for (QAbstractButton *view :
        {ui->BtnShowTable, ui->BtnShowChart, ui->BtnShowFailures, ui->BtnShowHistory})
        views->addButton(view);
    // A barcode scanner ends each code with Enter. In a dialog, Enter clicks the default button,
    // and a button becomes the default when it has had the focus: a scan must never start or stop
    // a run that way.
    for (QPushButton *button : findChildren<QPushButton *>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(m_historyView, &CBurnInHistoryView::chosenChanged, this, &TabBurnIn::updateRunActions);
    connect(m_historyView, &CBurnInHistoryView::scanned, this, &TabBurnIn::historyScanned);
    connect(m_historyView, &CBurnInHistoryView::line, this, &TabBurnIn::log);
    connect(m_historyView, &CBurnInHistoryView::openRequested, this, &TabBurnIn::openRun);
    connect(&m_station, &CStation::runRead, this, &TabBurnIn::showRun);
    connect(&m_station, &CStation::reportWritten, this, [this](const QString &path) {
        log(QStringLiteral(">>>报告已生成：") + path);
        emit reportWritten(path);
    });
    connect(&m_station, &CStation::reportFailed, this,
        [this](const QString &why) { log(QStringLiteral(">>>报告生成失败：") + why); });
    m_progressTimer.setInterval(kProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &TabBurnIn::takeProgress);
    showView(ui->TableCards);
    connect(m_inputs, &CBurnInInputs::changed, this, &TabBurnIn::inputsChanged);
    auto *mainWindow = static_cast<MainDialog *>(parent);
    connect(ui->ComboConnection, qOverload<int>(&QComboBox::currentIndexChanged), this,
        &TabBurnIn::showConnection);
    connect(ui->BtnComSettings, &QPushButton::clicked, mainWindow, &MainDialog::showComSettings);
    connect(&mainWindow->comSettingsDialog(), &QDialog::finished, this, &TabBurnIn::showConnection);
    showConnection();
    ui->LabelSummary->setText(m_figures.text());
    showQualification();
    setRunning(false);
    m_historyView->setConfidence(m_inputs->confidence());
    connect(m_inputs, &CBurnInInputs::confidenceChanged, m_historyView,
        &CBurnInHistoryView::setConfidence);
    if (!m_station.serverText().isEmpty()) {
        auto *fleet = new CFleetPanel(m_station, this);
        fleet->setConfidence(m_inputs->confidence());
        connect(m_inputs, &CBurnInInputs::confidenceChanged, fleet, &CFleetPanel::setConfidence);
        // 全部工位 opens the fleet over the page; 返回 comes back to this station's history.
        connect(ui->ComboScope, qOverload<int>(&QComboBox::currentIndexChanged), fleet,
            [fleet](int scope) {
                if (scope > 0)
                    fleet->open();
            });
        connect(fleet, &CFleetPanel::closed, this, [this] { ui->ComboScope->setCurrentIndex(0); });
        connect(fleet, &CFleetPanel::line, this, &TabBurnIn::log);
    }
    // The main window builds the page at its start when a server is configured.
    connect(new CBurnInUploadView(m_station, *ui, this), &CBurnInUploadView::line, this,
        &TabBurnIn::log);
}

// A run still going holds its job; the main window stops the device queue before its pages go.
TabBurnIn::~TabBurnIn()
{
    delete ui;
}

CBurnInTableModel &TabBurnIn::cards()
{
    return m_cardsView->cards();
}

const QVector<ResultsRunSummary> &TabBurnIn::runs() const
{
    return m_historyView->runs();
}

ComSettings TabBurnIn::chosenConnection() const
{
    auto *mainWindow = static_cast<MainDialog *>(m_pMainWindow);
    return m_inputs->connection({mainWindow->getCom(), mainWindow->getBP(), mainWindow->getBaud()});
}

void TabBurnIn::showConnection()
{
    ui->LabelConnection->setText(connectionText(chosenConnection()));
}

// Read here, on the GUI thread at the press, and handed to the run as values. The dialog's port
// is typed text, which it checks only as it is typed.
std::optional<ComSettings> TabBurnIn::usableConnection()
{
    const ComSettings connection = chosenConnection();
    QString reason;
    if (!parsePort(QString::number(connection.port), &reason)) {
        log(QStringLiteral(">>>老化测试未开始：通信设置：") + reason);
        return std::nullopt;
    }
    showConnection();
    return connection;
}

// A change made for the next run turns LabelMcbf over to what that run needs.
void TabBurnIn::inputsChanged()
{
    if (m_run)
        return;
    m_showsRun = false;
    showQualification();
}

// The verdict always belongs to the cards on show; LabelMcbf either to them or to the next run.
void TabBurnIn::showQualification()
{
    m_verdictView->show(m_limits, m_figures, m_run || m_figures.done > 0,
        m_showsRun ? std::nullopt : std::optional(m_inputs->options().limits));
}

void TabBurnIn::keyPressEvent(QKeyEvent *event)
{
    // QDialog clicks its default button on Enter and hides itself on Escape; the page is neither
    // accepted nor dismissed, and a scanner's Enter must do nothing here.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TabBurnIn::log(const QString &line)
{
    static_cast<MainDialog *>(m_pMainWindow)->Log(line);
}

void TabBurnIn::on_BtnStart_clicked()
{
    if (m_run)
        return;
    if (!m_station.device().isLoaded()) {
        log(QStringLiteral(">>not found sdk"));
        return;
    }
    BurnInOptions options = m_inputs->options();
    // The plan's fields as the command line checks its options, with the same words.
    QString planError = m_inputs->planError();
    if (planError.isEmpty() && options.limits.test.isPlan()) {
        BurnInOptions checkedOptions = options;
        planError = BurnInConfig::check(checkedOptions);
    }
    if (!planError.isEmpty()) {
        log(QStringLiteral(">>>老化测试未开始：") + planError);
        return;
    }
    const BurnInInput::CheckedUnit checked
        = BurnInInput::checkUnit(options.unit, options.limits.hasLimit());
    if (!checked.error.isEmpty()) {
        log(QStringLiteral(">>>老化测试未开始：") + checked.error);
        return;
    }
    const std::optional<ComSettings> connection = usableConnection();
    if (!connection)
        return;
    options.unit = checked.unit;
    // The defaults and their checks are the command line's too.
    BurnInConfig::save(options);
    CBurnInJob::Plan plan;
    plan.settings = options.settings;
    plan.unit = checked.unit;
    plan.limits = options.limits;
    plan.settings.connection = deviceConnection(*connection);
    startRun(plan);
}

// Goes on with the run chosen in the history, with the settings it was created with.
void TabBurnIn::on_BtnResume_clicked()
{
    const ResultsRunSummary *chosen = m_historyView->chosenRun();
    if (m_run || !chosen || chosen->state == ResultsRunState::Running)
        return;
    // The job finds a settled verdict from the cards too (a killed run has no verdict event);
    // one the history already shows needs no device.
    if (!CBurnInHistoryView::resumable(*chosen)) {
        log(QStringLiteral(">>>老化测试未开始：")
            + burnInSettledText(chosen->verdict.value_or(Qualification::Verdict::Undecided),
                chosen->state == ResultsRunState::Complete));
        return;
    }
    if (!m_station.device().isLoaded()) {
        log(QStringLiteral(">>not found sdk"));
        return;
    }
    const std::optional<ComSettings> connection = usableConnection();
    if (!connection)
        return;
    const ResultsRunSummary &run = *chosen;
    CBurnInJob::Plan plan;
    plan.continueRunId = run.runId;
    // The dispenser's wiring of today, not of the run's first stretch.
    plan.settings.connection = deviceConnection(*connection);
    plan.settings.cards = run.plan.cardsPlanned;
    plan.settings.mode = run.plan.mode;
    // The job takes both from the record again; the page needs them for the verdict and the
    // report.
    plan.unit = run.plan.unit;
    plan.limits = run.plan.qualification();
    startRun(plan);
}

void TabBurnIn::startRun(CBurnInJob::Plan plan)
{
    const BurnInSettings settings = plan.settings;
    const Qualification::Plan limits = plan.limits;
    const QString serial = plan.unit.serial;
    auto *mainWindow = static_cast<MainDialog *>(m_pMainWindow);
    std::shared_ptr<CBurnInProgress> run = m_station.start(
        std::move(plan), [mainWindow](const QString &line) { mainWindow->postLog(line); });
    if (!run)
        return;
    m_limits = limits;
    // The job plans a plan's n0 cards, run over sittings of at most sittingCards each.
    m_limits.plannedCards = limits.test.isPlan()
        ? static_cast<int>(Qualification::planLines(limits.test).n0)
        : settings.cards;
    m_showsRun = true;
    m_runSerial = serial;
    clearCards(settings.mode, std::min(m_limits.plannedCards, settings.sittingCards));
    m_shownCsv.clear();
    m_run = std::move(run);
    setRunning(true);
    m_progressTimer.start();
}

// The first press finishes the card in hand; a second ends the run at once, for a call that
// hangs: its card is not recorded, and 继续 runs it again. The run's end line says which.
void TabBurnIn::on_BtnStop_clicked()
{
    if (!m_run)
        return;
    if (m_run->stopRequested()) {
        m_station.stopNow();
        ui->BtnStop->setEnabled(false);
        return;
    }
    m_station.stop();
    ui->BtnStop->setText(QStringLiteral("立即停止"));
    ui->BtnStop->setToolTip(QStringLiteral("手中这张卡不再等待，不计入；继续时重做"));
}

void TabBurnIn::takeProgress()
{
    const CBurnInProgress::Snapshot progress = m_run->take();
    addCards(progress.cards, progress.figures);
    if (!progress.finished)
        return;

    m_progressTimer.stop();
    if (progress.started)
        m_shownCsv = progress.csvPath;
    m_run.reset();
    m_station.release();
    setRunning(false);
    if (progress.started && !m_runSerial.isEmpty())
        m_station.writeReport(progress.runId, progress.csvPath);
    if (m_historyView->isShown())
        m_historyView->scan();
}

void TabBurnIn::clearCards(BurnInMode mode, int reserve)
{
    m_cardsView->clear(reserve);
    m_failuresView->clear();
    m_planChart->setPlan(m_limits.test);
    if (!m_limits.test.isPlan() && m_planChart->isVisible())
        showView(m_cardsView->chart());
    m_figures = BurnInFigures();
    m_figures.mode = mode;
    ui->LabelSummary->setText(m_figures.text());
    showQualification();
}

void TabBurnIn::addCards(const QVector<BurnInRecord> &cards, const BurnInFigures &figures)
{
    if (cards.isEmpty())
        return;
    m_cardsView->add(cards, figures.p95Seconds);
    m_failuresView->add(cards);
    if (m_limits.test.isPlan()) {
        // The verdict's own rule of what counts against the dispenser.
        for (const BurnInRecord &card : cards)
            m_planChart->path().add(card.index,
                Qualification::classify(card) == Qualification::CardOutcome::DeviceFailure);
        m_planChart->refresh();
    }
    m_figures = figures;
    ui->LabelSummary->setText(m_figures.text());
    showQualification();
}

void TabBurnIn::showView(QWidget *view)
{
    for (QWidget *each : {static_cast<QWidget *>(ui->TableCards),
             static_cast<QWidget *>(m_cardsView->chart()), static_cast<QWidget *>(m_planChart),
             static_cast<QWidget *>(ui->TableFailures), static_cast<QWidget *>(ui->ListRuns)}) {
        each->setVisible(each == view);
    }
    ui->EditFilter->setVisible(view == ui->ListRuns);
    ui->ComboScope->setVisible(view == ui->ListRuns && !m_station.serverText().isEmpty());
    updateRunActions();
}

void TabBurnIn::on_BtnShowTable_clicked()
{
    showView(ui->TableCards);
    m_cardsView->showNewest();
}

// A run judged by a plan shows its plan chart first; a second press turns to the seconds per
// card and back.
void TabBurnIn::on_BtnShowChart_clicked()
{
    if (!m_limits.test.isPlan() || m_planChart->isVisible())
        showView(m_cardsView->chart());
    else
        showView(m_planChart);
}

void TabBurnIn::on_BtnShowFailures_clicked()
{
    showView(ui->TableFailures);
}

void TabBurnIn::on_BtnShowHistory_clicked()
{
    showView(ui->ListRuns);
    m_historyView->scan();
}

void TabBurnIn::updateRunActions()
{
    const ResultsRunSummary *chosen = m_historyView->chosenRun();
    // A settled run's 继续 says why it is not continued.
    ui->BtnResume->setEnabled(!m_run && chosen && chosen->state != ResultsRunState::Running);
    ui->BtnReport->setEnabled(chosen && CBurnInHistoryView::reportable(*chosen));
}

void TabBurnIn::on_BtnReport_clicked()
{
    const ResultsRunSummary *chosen = m_historyView->chosenRun();
    if (chosen && CBurnInHistoryView::reportable(*chosen))
        m_station.writeReport(chosen->runId, chosen->plan.csvPath);
}

void TabBurnIn::openRun(const ResultsRunSummary &run)
{
    // The table and the chart follow the run under way until it ends.
    if (m_run) {
        log(QStringLiteral(">>>老化测试进行中，结束后才能打开记录"));
        return;
    }
    if (run.state != ResultsRunState::Running)
        m_station.readRun(run);
}

void TabBurnIn::showRun(const ResultsRunSummary &run, const QVector<BurnInRecord> &cards,
    const BurnInFigures &figures, const QString &error)
{
    if (m_run)
        return;
    if (!error.isEmpty()) {
        log(QStringLiteral(">>>无法打开老化测试记录：") + error);
        return;
    }
    m_limits = run.plan.qualification();
    m_showsRun = true;
    clearCards(figures.mode);
    addCards(cards, figures);
    m_shownCsv = run.plan.csvPath;
    log(QStringLiteral(">>>老化测试记录：%1：%2（%3）")
            .arg(run.plan.csvPath, m_figures.text(), resultsRunStateName(run.state)));
    showView(ui->TableCards);
    ui->BtnShowTable->setChecked(true);
    emit runOpened();
}

void TabBurnIn::on_BtnSaveChart_clicked()
{
    const QString csvPath = m_run ? m_run->csvPath() : m_shownCsv;
    log(m_cardsView->saveChart(csvPath));
    if (m_limits.test.isPlan() && m_figures.done > 0 && !csvPath.isEmpty())
        log(savePlanChart(csvPath));
}

QString TabBurnIn::savePlanChart(const QString &csvPath) const
{
    const QFileInfo csvFile(csvPath);
    const QString png = csvFile.absoluteDir().filePath(csvFile.completeBaseName() + "-plan.png");
    if (m_planChart->toImage(m_planChart->size()).save(png, "PNG"))
        return QStringLiteral(">>>试验方案图已保存：") + png;
    return QStringLiteral(">>>试验方案图保存失败：") + png;
}

void TabBurnIn::setRunning(bool running)
{
    ui->BtnStart->setEnabled(!running);
    ui->BtnStop->setEnabled(running);
    ui->BtnStop->setText(QStringLiteral("停止"));
    ui->BtnStop->setToolTip(QString());
    m_inputs->setEnabled(!running);
    updateRunActions();
}
