// SPDX-License-Identifier: MIT
#include "burnin/tabburnin.h"

#include "burnin/burninoptions.h"
#include "burnin/burninreport.h"
#include "burnin/burninreportsource.h"
#include "burnin/burninunit.h"
#include "burnin/cburninhistory.h"
#include "burnin/cburninjob.h"
#include "burnin/cburninprogress.h"
#include "burnin/chartcards.h"
#include "device/cdevicequeue.h"
#include "device/zov_sdk.h"
#include "results/cresultsserver.h"
#include "results/cstationlock.h"
#include "shell/maindialog.h"
#include "ui_tabburnin.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidgetItem>
#include <QStyle>

#include <algorithm>
#include <iterator>

#include <utility>

namespace {

// ComboConnection's items, in order.
enum ConnectionChoice { FixedConnection, SettingsConnection };
// ComboScope's items, in order.
enum HistoryScope { StationScope, FleetScope };
// What closing the page gives the upload for what is left; the rest goes at the next start.
constexpr int kUploadFinishMs = 2000;
// Between ComboScope and ListRuns below it, as between the rows of buttons above.
constexpr int kScopeGap = 6;

// Wide enough for a 19-digit card number and the longest step name at the table's font.
constexpr std::pair<int, int> kColumnWidths[]
    = {{BurnInTableModel::Index, 56}, {BurnInTableModel::Started, 86},
        {BurnInTableModel::CardNumber, 186}, {BurnInTableModel::Result, 56},
        {BurnInTableModel::FailedStep, 112}, {BurnInTableModel::FailedCode, 64}};
constexpr std::pair<int, int> kFailureColumnWidths[] = {{FailureModeTableModel::Step, 150},
    {FailureModeTableModel::Code, 100}, {FailureModeTableModel::Count, 100},
    {FailureModeTableModel::Share, 110}, {FailureModeTableModel::FirstCard, 110}};
constexpr int kRowHeight = 24;
// Often enough that the table and the totals follow the run, seldom enough to cost nothing.
constexpr int kProgressIntervalMs = 100;

void setupTable(QTableView *table, const std::pair<int, int> *widths, std::size_t count)
{
    QHeaderView *columns = table->horizontalHeader();
    for (std::size_t i = 0; i < count; ++i)
        columns->resizeSection(widths[i].first, widths[i].second);
    columns->setStretchLastSection(true);
    table->verticalHeader()->setDefaultSectionSize(kRowHeight);
    table->verticalHeader()->hide();
}

// A property the page's style sheet picks colours by; the style sees a change only when the
// widget is polished again.
void setStyleProperty(QWidget *widget, const char *name, const QString &value)
{
    if (widget->property(name).toString() == value)
        return;
    widget->setProperty(name, value);
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
}

// The fleet as the server has it, on the calling thread; why it could not be read, or empty.
QString readFleet(const QString &serverText, QVector<ResultsFleet::ModelFigures> *models,
    QVector<ResultsRunSummary> *runs)
{
    QString failure;
    const std::optional<ResultsServerAddress> address = parseResultsServer(serverText, &failure);
    if (!address)
        return failure;
    CResultsServer server;
    if (!server.open(*address))
        return server.error();
    const std::optional<QVector<ResultsFleet::ModelFigures>> readModels
        = ResultsFleet::models(server);
    if (!readModels)
        return server.error();
    const std::optional<QVector<ResultsRunSummary>> readRuns = ResultsFleet::runs(server);
    if (!readRuns)
        return server.error();
    *models = *readModels;
    *runs = *readRuns;
    return QString();
}

} // namespace

TabBurnIn::TabBurnIn(QWidget *parent)
    : QDialog(parent)
    , MainWindowPxy(parent)
    , ui(new Ui_TabBurnIn)
    , m_pQueue(&static_cast<MainDialog *>(parent)->deviceQueue())
{
    ui->setupUi(this);
    // Made here rather than in the form: its object name is its class name, which the generated
    // code cannot declare as a member.
    m_chart = new ChartCards(this);
    m_chart->setObjectName(QStringLiteral("ChartCards"));
    m_chart->setGeometry(ui->TableCards->geometry());
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
    ui->TableCards->setModel(&m_cards);
    setupTable(ui->TableCards, kColumnWidths, std::size(kColumnWidths));
    ui->TableFailures->setModel(&m_failureTable);
    setupTable(ui->TableFailures, kFailureColumnWidths, std::size(kFailureColumnWidths));
    // A hidden table is brought to its newest row when it is shown: laying out 100,000 rows that
    // nobody sees, a batch at a time, would keep the window from painting.
    connect(&m_cards, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!ui->TableCards->isHidden())
            ui->TableCards->scrollToBottom();
    });
    connect(ui->ListRuns, &QListWidget::currentRowChanged, this, &TabBurnIn::updateRunActions);
    m_serverText = BurnInConfig::resultsServer().trimmed();
    // Without a server there is one scope, and the list keeps the place the other views have.
    if (!m_serverText.isEmpty()) {
        QRect list = ui->ListRuns->geometry();
        list.setTop(ui->ComboScope->geometry().bottom() + 1 + kScopeGap);
        ui->ListRuns->setGeometry(list);
    }
    m_progressTimer.setInterval(kProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &TabBurnIn::takeProgress);
    m_readers.setMaxThreadCount(1);
    showView(ui->TableCards);
    loadSettings();
    connect(
        ui->SpinCount, qOverload<int>(&QSpinBox::valueChanged), this, &TabBurnIn::inputsChanged);
    connect(ui->SpinTargetMcbf, qOverload<int>(&QSpinBox::valueChanged), this,
        &TabBurnIn::inputsChanged);
    connect(ui->ComboConfidence, qOverload<int>(&QComboBox::currentIndexChanged), this,
        &TabBurnIn::inputsChanged);
    auto *mainWindow = static_cast<MainDialog *>(parent);
    connect(ui->ComboConnection, qOverload<int>(&QComboBox::currentIndexChanged), this,
        &TabBurnIn::showConnection);
    connect(ui->BtnComSettings, &QPushButton::clicked, mainWindow, &MainDialog::showComSettings);
    connect(&mainWindow->comSettingsDialog(), &QDialog::finished, this, &TabBurnIn::showConnection);
    showConnection();
    ui->LabelSummary->setText(m_figures.text());
    showQualification();
    setRunning(false);
    connect(ui->ComboScope, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (!ui->ListRuns->isHidden())
            scanHistory();
    });
    connect(ui->ComboConfidence, qOverload<int>(&QComboBox::currentIndexChanged), this,
        &TabBurnIn::showModelLines);
    startUpload();
}

// A run still going holds its job; the main window stops the queue before its pages go. A read
// in progress posts to the page, so it must end first.
TabBurnIn::~TabBurnIn()
{
    m_readers.clear();
    m_readers.waitForDone();
    // The main window's log pane may be gone already: what the upload says now is not shown.
    if (m_upload) {
        m_upload->disconnect(this);
        m_upload->finish(kUploadFinishMs);
    }
    delete ui;
}

// Started with the page, so that what earlier runs left behind goes now rather than after the
// next run; the main window builds the page at its start when a server is configured.
void TabBurnIn::startUpload()
{
    if (!m_serverText.isEmpty()) {
        m_upload = std::make_unique<CResultsUpload>(resultsFolder(), m_serverText);
        connect(m_upload.get(), &CResultsUpload::statusChanged, this, &TabBurnIn::showUpload);
        connect(m_upload.get(), &CResultsUpload::line, this,
            [this](const QString &line) { log(QStringLiteral(">>>") + line); });
        m_upload->start();
    }
    showUpload(m_upload ? m_upload->status() : ResultsUploadStatus());
}

void TabBurnIn::showUpload(const ResultsUploadStatus &status)
{
    ui->LabelUpload->setText(resultsUploadText(status));
}

// The defaults and their checks are the command line's too (BurnInConfig).
void TabBurnIn::loadSettings()
{
    const BurnInOptions options = BurnInConfig::load();
    ui->SpinCount->setValue(options.settings.cards);
    (options.settings.mode == BurnInMode::HandOut ? ui->RadioHandOut : ui->RadioCapture)
        ->setChecked(true);
    ui->CheckStopOnFailure->setChecked(options.settings.stopOnFailure);
    ui->EditModel->setText(options.unit.model);
    ui->EditOperator->setText(options.unit.operatorName);
    ui->SpinTargetMcbf->setValue(int(options.limits.targetMcbf));
    const auto *known = std::find(std::begin(BurnInConfig::kConfidences),
        std::end(BurnInConfig::kConfidences), options.limits.confidence);
    ui->ComboConfidence->setCurrentIndex(known == std::end(BurnInConfig::kConfidences)
            ? 0
            : int(known - std::begin(BurnInConfig::kConfidences)));
    ui->SpinMaxP95->setValue(options.limits.maxP95Seconds);
    ui->CheckEarlyFail->setChecked(options.limits.earlyFail);
    ui->ComboConnection->setCurrentIndex(
        options.settingsConnection ? SettingsConnection : FixedConnection);
}

// The serial is the one field left out: it names one unit, and the next run tests another.
void TabBurnIn::saveSettings(const BurnInUnit &unit)
{
    BurnInOptions options;
    options.settings.cards = ui->SpinCount->value();
    options.settings.mode
        = ui->RadioHandOut->isChecked() ? BurnInMode::HandOut : BurnInMode::Capture;
    options.settings.stopOnFailure = ui->CheckStopOnFailure->isChecked();
    options.unit = unit;
    options.limits = inputLimits();
    options.settingsConnection = ui->ComboConnection->currentIndex() == SettingsConnection;
    BurnInConfig::save(options);
}

ComSettings TabBurnIn::chosenConnection() const
{
    if (ui->ComboConnection->currentIndex() != SettingsConnection) {
        const DeviceArguments::Connection fixed;
        return {fixed.port, fixed.bp, fixed.baud};
    }
    auto *mainWindow = static_cast<MainDialog *>(m_pMainWindow);
    return {mainWindow->getCom(), mainWindow->getBP(), mainWindow->getBaud()};
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

int TabBurnIn::confidence() const
{
    const int index = ui->ComboConfidence->currentIndex();
    return index >= 0 && index < int(std::size(BurnInConfig::kConfidences))
        ? BurnInConfig::kConfidences[index]
        : Qualification::kDefaultConfidence;
}

Qualification::Plan TabBurnIn::inputLimits() const
{
    Qualification::Plan limits;
    limits.targetMcbf = ui->SpinTargetMcbf->value();
    limits.confidence = confidence();
    limits.maxP95Seconds = ui->SpinMaxP95->value();
    limits.earlyFail = ui->CheckEarlyFail->isChecked();
    limits.plannedCards = ui->SpinCount->value();
    return limits;
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
    const Qualification::Standing standing = Qualification::standing(m_figures);
    // Nothing is judged before a run: a plan out of reach shows in LabelMcbf's warning instead.
    const Qualification::Verdict verdict = m_run || m_figures.done > 0
        ? Qualification::judge(m_limits, standing)
        : Qualification::Verdict::Undecided;
    ui->LabelVerdict->setText(Qualification::verdictText(verdict));
    setStyleProperty(ui->LabelVerdict, "verdict", resultsVerdictKey(verdict));

    QString mcbf;
    bool warning = false;
    if (m_showsRun) {
        mcbf = QStringLiteral("演示 MCBF %1 次（%2%）")
                   .arg(Qualification::demonstratedMcbf(
                       standing.cycles, standing.failures, m_limits.confidence))
                   .arg(m_limits.confidence);
    } else {
        const Qualification::Plan next = inputLimits();
        const qint64 needed = Qualification::cardsToDemonstrate(next.targetMcbf, next.confidence);
        if (needed > 0) {
            mcbf = QStringLiteral("无故障至少 %1 张\n可证 MCBF ≥ %2")
                       .arg(needed)
                       .arg(next.targetMcbf);
            warning = needed > next.plannedCards;
        }
    }
    ui->LabelMcbf->setText(mcbf);
    ui->LabelMcbf->setToolTip(
        warning ? QStringLiteral("卡数少于可证目标 MCBF 所需的张数") : QString());
    setStyleProperty(ui->LabelMcbf, "warning", warning ? QStringLiteral("true") : QString());
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
    if (!m_pSdk->pOpenDevice) {
        log(QStringLiteral(">>not found sdk"));
        return;
    }
    const Qualification::Plan limits = inputLimits();
    const BurnInInput::CheckedUnit checked = BurnInInput::checkUnit(
        {ui->EditSerial->text(), ui->EditModel->text(), ui->EditOperator->text()},
        limits.hasLimit());
    if (!checked.error.isEmpty()) {
        log(QStringLiteral(">>>老化测试未开始：") + checked.error);
        return;
    }
    const std::optional<ComSettings> connection = usableConnection();
    if (!connection)
        return;
    saveSettings(checked.unit);
    CBurnInJob::Plan plan;
    plan.settings.cards = ui->SpinCount->value();
    plan.settings.mode = ui->RadioHandOut->isChecked() ? BurnInMode::HandOut : BurnInMode::Capture;
    plan.settings.stopOnFailure = ui->CheckStopOnFailure->isChecked();
    plan.unit = checked.unit;
    plan.limits = limits;
    plan.settings.connection = deviceConnection(*connection);
    startJob(plan);
}

// Goes on with the run chosen in the history, with the settings it was created with.
void TabBurnIn::on_BtnResume_clicked()
{
    const ResultsRunSummary *chosen = chosenRun();
    if (m_run || !chosen || chosen->state == ResultsRunState::Running)
        return;
    // The job finds a settled verdict from the cards too (a killed run has no verdict event);
    // one the history already shows needs no device.
    if (!resumable(*chosen)) {
        log(QStringLiteral(">>>老化测试未开始：")
            + burnInSettledText(chosen->verdict.value_or(Qualification::Verdict::Undecided),
                chosen->state == ResultsRunState::Complete));
        return;
    }
    if (!m_pSdk->pOpenDevice) {
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
    startJob(plan);
}

void TabBurnIn::startJob(CBurnInJob::Plan plan)
{
    plan.resultsFolder = resultsFolder();
    plan.station = station();
    plan.libraryPath = QString::fromStdString(m_pSdk->path());
    const BurnInSettings settings = plan.settings;
    const Qualification::Plan limits = plan.limits;
    const QString serial = plan.unit.serial;
    auto *mainWindow = static_cast<MainDialog *>(m_pMainWindow);
    auto run = std::make_shared<CBurnInProgress>();
    auto *job = new CBurnInJob(
        *m_pSdk, m_pQueue->gate(), std::move(plan),
        [mainWindow](const QString &line) { mainWindow->postLog(line); }, run);
    if (!m_pQueue->submit(job))
        return;
    m_limits = limits;
    m_limits.plannedCards = settings.cards;
    m_showsRun = true;
    m_runSerial = serial;
    clearCards(settings.mode);
    m_cards.reserve(settings.cards);
    m_shownCsv.clear();
    m_run = std::move(run);
    setRunning(true);
    m_progressTimer.start();
}

QString TabBurnIn::resultsFolder()
{
    return BurnInConfig::resultsFolder();
}

QString TabBurnIn::station()
{
    return BurnInConfig::station();
}

// A run judged 不合格 stays so: more cards cannot mend it.
bool TabBurnIn::resumable(const ResultsRunSummary &run)
{
    return (run.state == ResultsRunState::Interrupted || run.state == ResultsRunState::Incomplete)
        && run.verdict != Qualification::Verdict::Fail;
}

// Any run with cards is judged from its record, one whose process died too; one that is being
// run right now is reported when it ends.
bool TabBurnIn::reportable(const ResultsRunSummary &run)
{
    return run.cardsDone > 0 && run.state != ResultsRunState::Running;
}

// The fleet's runs are there to be looked at: 继续 and 生成报告 act on this station's record.
const ResultsRunSummary *TabBurnIn::chosenRun() const
{
    const int row = ui->ListRuns->currentRow();
    const int run = runIndex(row);
    if (ui->ListRuns->isHidden() || fleetShown() || run < 0 || ui->ListRuns->item(row)->isHidden())
        return nullptr;
    return &m_runs.at(run);
}

int TabBurnIn::runIndex(int row) const
{
    const int run = row - m_headRows;
    return row >= 0 && run >= 0 && run < m_runs.size() ? run : -1;
}

void TabBurnIn::on_BtnStop_clicked()
{
    if (!m_run)
        return;
    m_run->requestStop();
    m_pQueue->gate().wakeWaiters();
    ui->BtnStop->setEnabled(false);
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
    setRunning(false);
    if (progress.started && !m_runSerial.isEmpty())
        writeReport(progress.runId, progress.csvPath);
    if (!ui->ListRuns->isHidden())
        scanHistory();
}

void TabBurnIn::clearCards(BurnInMode mode)
{
    m_cards.clear();
    m_figures = BurnInFigures();
    m_figures.mode = mode;
    m_chart->series().clear();
    m_chart->refresh();
    m_failureModes.clear();
    m_failureTable.setModes({});
    ui->LabelSummary->setText(m_figures.text());
    showQualification();
}

void TabBurnIn::addCards(const QVector<BurnInRecord> &cards, const BurnInFigures &figures)
{
    if (cards.isEmpty())
        return;
    m_cards.append(cards);
    const int failedBefore = m_failureModes.failed();
    for (const BurnInRecord &card : cards) {
        m_chart->series().add(card);
        m_failureModes.add(card);
    }
    if (m_failureModes.failed() != failedBefore)
        m_failureTable.setModes(m_failureModes.rows());
    m_figures = figures;
    m_chart->series().setP95Seconds(figures.p95Seconds);
    ui->LabelSummary->setText(m_figures.text());
    showQualification();
    m_chart->refresh();
}

void TabBurnIn::showView(QWidget *view)
{
    for (QWidget *each : {static_cast<QWidget *>(ui->TableCards), static_cast<QWidget *>(m_chart),
             static_cast<QWidget *>(ui->TableFailures), static_cast<QWidget *>(ui->ListRuns)}) {
        each->setVisible(each == view);
    }
    ui->EditFilter->setVisible(view == ui->ListRuns);
    ui->ComboScope->setVisible(view == ui->ListRuns && !m_serverText.isEmpty());
    updateRunActions();
}

void TabBurnIn::on_BtnShowTable_clicked()
{
    showView(ui->TableCards);
    ui->TableCards->scrollToBottom();
}

void TabBurnIn::on_BtnShowChart_clicked()
{
    showView(m_chart);
}

void TabBurnIn::on_BtnShowFailures_clicked()
{
    showView(ui->TableFailures);
}

void TabBurnIn::on_BtnShowHistory_clicked()
{
    showView(ui->ListRuns);
    scanHistory();
}

// The history reads the station database on a thread of its own, through a connection that it
// opens and closes there; runs that exist only as CSV files from before are taken in first.
void TabBurnIn::scanHistory()
{
    if (fleetShown()) {
        scanFleet();
        return;
    }
    const QString folder = resultsFolder();
    const QString name = station();
    const QString ownRunId = m_run ? m_run->runId() : QString();
    const int serial = ++m_readSerial;
    m_readers.start([this, folder, name, ownRunId, serial] {
        QStringList skipped;
        QStringList notices;
        QVector<ResultsRunSummary> runs;
        {
            CResultsStore store;
            if (store.open(folder)) {
                store.importCsvRuns(name, &skipped);
                runs = store.runs(CStationLock::isHeldByLiveProcess(folder), ownRunId);
            }
            notices << store.notice() << store.error();
        }
        notices.removeAll(QString());
        QMetaObject::invokeMethod(
            this,
            [this, runs, skipped, notices, serial] {
                if (serial == m_readSerial)
                    showHistory(runs, skipped, notices);
            },
            Qt::QueuedConnection);
    });
}

void TabBurnIn::showHistory(
    const QVector<ResultsRunSummary> &runs, const QStringList &skipped, const QStringList &notices)
{
    for (const QString &notice : notices)
        log(QStringLiteral(">>>") + notice);
    for (const QString &skip : skipped) {
        if (!m_reportedSkips.contains(skip)) {
            m_reportedSkips.insert(skip);
            log(QStringLiteral(">>>不是老化测试记录，已跳过：") + skip);
        }
    }
    fillHistory({}, runs);
}

bool TabBurnIn::fleetShown() const
{
    return !m_serverText.isEmpty() && ui->ComboScope->currentIndex() == FleetScope;
}

// Read on the history's thread, as the station database is, through a server connection of its
// own that is opened and closed there; the server's timeouts bound a read of a lost network.
void TabBurnIn::scanFleet()
{
    const QString serverText = m_serverText;
    const int serial = ++m_readSerial;
    m_readers.start([this, serverText, serial] {
        QVector<ResultsFleet::ModelFigures> models;
        QVector<ResultsRunSummary> runs;
        const QString failure = readFleet(serverText, &models, &runs);
        QMetaObject::invokeMethod(
            this,
            [this, models, runs, failure, serial] {
                if (serial == m_readSerial)
                    fillHistory(models, runs, failure);
            },
            Qt::QueuedConnection);
    });
}

void TabBurnIn::fillHistory(const QVector<ResultsFleet::ModelFigures> &models,
    const QVector<ResultsRunSummary> &runs, const QString &failure)
{
    // The run the operator chose stays chosen when the list is read again.
    const int current = runIndex(ui->ListRuns->currentRow());
    const QString chosen = current >= 0 ? m_runs.at(current).runId : QString();
    m_runs = runs;
    m_models = models;
    ui->ListRuns->clear();
    if (!failure.isEmpty()) {
        auto *item = new QListWidgetItem(
            QStringLiteral("无法读取全部工位的记录：") + failure, ui->ListRuns);
        // libpq's words can be longer than the list is wide.
        item->setToolTip(failure);
    }
    for (int i = 0; i < models.size(); ++i)
        new QListWidgetItem(ui->ListRuns);
    m_headRows = ui->ListRuns->count();
    // Read as plainly as the runs, but nothing to choose, continue or report on.
    for (int row = 0; row < m_headRows; ++row)
        ui->ListRuns->item(row)->setFlags(Qt::ItemIsEnabled);
    showModelLines();
    for (const ResultsRunSummary &run : runs) {
        auto *item = new QListWidgetItem(burnInHistoryLabel(run), ui->ListRuns);
        item->setToolTip(run.plan.csvPath);
        // Its own page, or another program, shows a run in progress; as history it opens once
        // it has ended.
        if (run.state == ResultsRunState::Running)
            item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
        if (!chosen.isEmpty() && run.runId == chosen)
            ui->ListRuns->setCurrentItem(item);
    }
    filterHistory();
    emit historyScanned();
}

// At the confidence the page is set to, which the operator may change while they are on show.
void TabBurnIn::showModelLines()
{
    const int first = m_headRows - int(m_models.size());
    for (int i = 0; i < m_models.size(); ++i)
        ui->ListRuns->item(first + i)->setText(
            ResultsFleet::modelLine(m_models.at(i), confidence()));
}

void TabBurnIn::updateRunActions()
{
    const ResultsRunSummary *chosen = chosenRun();
    // A settled run's 继续 says why it is not continued.
    ui->BtnResume->setEnabled(!m_run && chosen && chosen->state != ResultsRunState::Running);
    ui->BtnReport->setEnabled(chosen && reportable(*chosen));
}

void TabBurnIn::on_EditFilter_textChanged()
{
    filterHistory();
}

// Rows are hidden rather than removed, so that the rows of the list stay the runs of m_runs. A
// model's line stays while one of its runs is shown.
void TabBurnIn::filterHistory()
{
    const QString filter = ui->EditFilter->text().trimmed();
    QSet<QString> shownModels;
    for (int run = 0; run < m_runs.size(); ++run) {
        const ResultsRunPlan &plan = m_runs.at(run).plan;
        const bool shown = ResultsFleet::matches(plan, filter);
        if (shown)
            shownModels.insert(plan.unit.model);
        ui->ListRuns->item(m_headRows + run)->setHidden(!shown);
    }
    const int firstModel = m_headRows - int(m_models.size());
    for (int i = 0; i < m_models.size(); ++i) {
        ui->ListRuns->item(firstModel + i)->setHidden(!shownModels.contains(m_models.at(i).model));
    }
    // A hidden run must not stay the one that 继续 and 生成报告 act on.
    const int current = ui->ListRuns->currentRow();
    if (current >= 0 && ui->ListRuns->item(current)->isHidden())
        ui->ListRuns->setCurrentRow(-1);
    updateRunActions();
}

void TabBurnIn::on_BtnReport_clicked()
{
    const ResultsRunSummary *chosen = chosenRun();
    if (chosen && reportable(*chosen))
        writeReport(chosen->runId, chosen->plan.csvPath);
}

// The run's data is read on the readers' thread, through a connection of its own, as the
// history is; the PDF needs the GUI thread's fonts.
void TabBurnIn::writeReport(const QString &runId, const QString &csvPath)
{
    const QString folder = resultsFolder();
    m_readers.start([this, folder, runId, csvPath] {
        auto data = std::make_shared<std::optional<BurnInReportData>>();
        QString error;
        {
            CResultsStore store;
            if (store.open(folder))
                *data = loadBurnInReport(store, runId, &error);
            else
                error = store.error();
        }
        QMetaObject::invokeMethod(
            this,
            [this, data, error, csvPath] {
                const QString path = burnInReportPath(csvPath);
                QString why = error;
                if (*data && BurnInReport::write(**data, path, &why)) {
                    log(QStringLiteral(">>>报告已生成：") + path);
                    emit reportWritten(path);
                } else {
                    log(QStringLiteral(">>>报告生成失败：") + why);
                }
            },
            Qt::QueuedConnection);
    });
}

void TabBurnIn::on_ListRuns_itemActivated(QListWidgetItem *item)
{
    // The cards of a run on the server stay there: this page opens this station's runs.
    const int index = runIndex(ui->ListRuns->row(item));
    if (index < 0 || fleetShown())
        return;
    // The table and the chart follow the run under way until it ends.
    if (m_run) {
        log(QStringLiteral(">>>老化测试进行中，结束后才能打开记录"));
        return;
    }
    const ResultsRunSummary run = m_runs.at(index);
    if (run.state == ResultsRunState::Running)
        return;
    const QString folder = resultsFolder();
    const int serial = ++m_readSerial;
    m_readers.start([this, folder, run, serial] {
        QVector<BurnInRecord> cards;
        QString error;
        {
            CResultsStore store;
            if (store.open(folder))
                cards = store.cards(run.runId);
            error = store.error();
        }
        // Computed here, where the cards are, rather than on the GUI thread.
        CBurnInSummary summary(run.plan.mode);
        for (const BurnInRecord &card : std::as_const(cards))
            summary.add(card);
        const BurnInFigures figures = summary.figures();
        QMetaObject::invokeMethod(
            this,
            [this, run, cards, figures, error, serial] {
                if (serial != m_readSerial || m_run)
                    return;
                if (!error.isEmpty())
                    log(QStringLiteral(">>>无法打开老化测试记录：") + error);
                else
                    showRun(run, cards, figures);
            },
            Qt::QueuedConnection);
    });
}

void TabBurnIn::showRun(
    const ResultsRunSummary &run, const QVector<BurnInRecord> &cards, const BurnInFigures &figures)
{
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
    const QString csv = m_run ? m_run->csvPath() : m_shownCsv;
    if (csv.isEmpty() || m_chart->series().cards() == 0) {
        log(QStringLiteral(">>>没有可保存的图表"));
        return;
    }
    const QFileInfo csvFile(csv);
    const QString png = csvFile.absoluteDir().filePath(csvFile.completeBaseName() + ".png");
    if (m_chart->toImage(m_chart->size()).save(png, "PNG"))
        log(QStringLiteral(">>>图表已保存：") + png);
    else
        log(QStringLiteral(">>>图表保存失败：") + png);
}

void TabBurnIn::setRunning(bool running)
{
    ui->BtnStart->setEnabled(!running);
    ui->BtnStop->setEnabled(running);
    ui->SpinCount->setEnabled(!running);
    ui->RadioCapture->setEnabled(!running);
    ui->RadioHandOut->setEnabled(!running);
    ui->CheckStopOnFailure->setEnabled(!running);
    ui->ComboConnection->setEnabled(!running);
    ui->BtnComSettings->setEnabled(!running);
    for (QWidget *input :
        {static_cast<QWidget *>(ui->EditSerial), static_cast<QWidget *>(ui->EditModel),
            static_cast<QWidget *>(ui->EditOperator), static_cast<QWidget *>(ui->SpinTargetMcbf),
            static_cast<QWidget *>(ui->ComboConfidence), static_cast<QWidget *>(ui->SpinMaxP95),
            static_cast<QWidget *>(ui->CheckEarlyFail)})
        input->setEnabled(!running);
    updateRunActions();
}
