// SPDX-License-Identifier: MIT
#include "burnin/tabburnin.h"

#include "burnin/cburninhistory.h"
#include "burnin/cburninjob.h"
#include "burnin/cburninprogress.h"
#include "burnin/chartcards.h"
#include "config/rwini.h"
#include "device/cdevicequeue.h"
#include "device/zov_sdk.h"
#include "results/cstationlock.h"
#include "shell/maindialog.h"
#include "ui_tabburnin.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QListWidgetItem>
#include <QSysInfo>

#include <utility>

namespace {

const char kConfigFile[] = "config.ini";
const char kGroup[] = "burnin";
const char kCardsKey[] = "cards";
const char kModeKey[] = "mode";
const char kStopOnFailureKey[] = "stopOnFailure";
const char kHandOutMode[] = "handout";
const char kCaptureMode[] = "capture";
constexpr int kDefaultCards = 100;

const char kResultsFolder[] = "results";
const char kResultsGroup[] = "results";
const char kStationKey[] = "station";

// Wide enough for a 19-digit card number and the longest step name at the table's font.
constexpr std::pair<int, int> kColumnWidths[]
    = {{BurnInTableModel::Index, 56}, {BurnInTableModel::Started, 86},
        {BurnInTableModel::CardNumber, 186}, {BurnInTableModel::Result, 56},
        {BurnInTableModel::FailedStep, 112}, {BurnInTableModel::FailedCode, 64}};
constexpr int kRowHeight = 24;
// Often enough that the table and the totals follow the run, seldom enough to cost nothing.
constexpr int kProgressIntervalMs = 100;

// Every save rewrites config.ini and syncs it to disk, which takes tens of milliseconds on a busy
// disk, and it happens on the GUI thread at the press of 开始: a run with the same settings as
// the last one writes nothing. The file ends as an unconditional save would leave it.
void saveIfChanged(const char *key, const QString &value)
{
    if (RWIni::load(kConfigFile, kGroup, key, QString()) != value)
        RWIni::save(kConfigFile, kGroup, key, value);
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
    for (QAbstractButton *view : {ui->BtnShowTable, ui->BtnShowChart, ui->BtnShowHistory})
        views->addButton(view);
    ui->TableCards->setModel(&m_cards);
    QHeaderView *columns = ui->TableCards->horizontalHeader();
    for (const auto &[column, width] : kColumnWidths)
        columns->resizeSection(column, width);
    columns->setStretchLastSection(true);
    ui->TableCards->verticalHeader()->setDefaultSectionSize(kRowHeight);
    ui->TableCards->verticalHeader()->hide();
    // A hidden table is brought to its newest row when it is shown: laying out 100,000 rows that
    // nobody sees, a batch at a time, would keep the window from painting.
    connect(&m_cards, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!ui->TableCards->isHidden())
            ui->TableCards->scrollToBottom();
    });
    connect(ui->ListRuns, &QListWidget::currentRowChanged, this, &TabBurnIn::updateResume);
    m_progressTimer.setInterval(kProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &TabBurnIn::takeProgress);
    m_readers.setMaxThreadCount(1);
    showView(ui->TableCards);
    loadSettings();
    ui->LabelSummary->setText(m_figures.text());
    setRunning(false);
}

// A run still going holds its job; the main window stops the queue before its pages go. A read
// in progress posts to the page, so it must end first.
TabBurnIn::~TabBurnIn()
{
    m_readers.clear();
    m_readers.waitForDone();
    delete ui;
}

void TabBurnIn::loadSettings()
{
    const int count = RWIni::load(kConfigFile, kGroup, kCardsKey, kDefaultCards);
    ui->SpinCount->setValue(count > 0 ? count : kDefaultCards);
    const bool handOut = RWIni::load(kConfigFile, kGroup, kModeKey, QString(kCaptureMode))
        == QLatin1String(kHandOutMode);
    (handOut ? ui->RadioHandOut : ui->RadioCapture)->setChecked(true);
    ui->CheckStopOnFailure->setChecked(RWIni::load(kConfigFile, kGroup, kStopOnFailureKey, 0) != 0);
}

void TabBurnIn::saveSettings()
{
    saveIfChanged(kCardsKey, QString::number(ui->SpinCount->value()));
    saveIfChanged(kModeKey, ui->RadioHandOut->isChecked() ? kHandOutMode : kCaptureMode);
    saveIfChanged(kStopOnFailureKey, ui->CheckStopOnFailure->isChecked() ? "1" : "0");
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
    saveSettings();
    CBurnInJob::Plan plan;
    plan.settings.cards = ui->SpinCount->value();
    plan.settings.mode = ui->RadioHandOut->isChecked() ? BurnInMode::HandOut : BurnInMode::Capture;
    plan.settings.stopOnFailure = ui->CheckStopOnFailure->isChecked();
    startJob(plan);
}

// Goes on with the run chosen in the history, with the settings it was created with.
void TabBurnIn::on_BtnResume_clicked()
{
    const int row = ui->ListRuns->currentRow();
    if (m_run || row < 0 || row >= m_runs.size() || !resumable(m_runs.at(row)))
        return;
    if (!m_pSdk->pOpenDevice) {
        log(QStringLiteral(">>not found sdk"));
        return;
    }
    const ResultsRunSummary &run = m_runs.at(row);
    CBurnInJob::Plan plan;
    plan.continueRunId = run.runId;
    plan.settings.cards = run.plan.cardsPlanned;
    plan.settings.mode = run.plan.mode;
    startJob(plan);
}

void TabBurnIn::startJob(CBurnInJob::Plan plan)
{
    plan.resultsFolder = resultsFolder();
    plan.station = station();
    plan.libraryPath = QString::fromStdString(m_pSdk->path());
    const BurnInSettings settings = plan.settings;
    auto *mainWindow = static_cast<MainDialog *>(m_pMainWindow);
    auto run = std::make_shared<CBurnInProgress>();
    auto *job = new CBurnInJob(*m_pSdk, m_pQueue->gate(), std::move(plan),
        [mainWindow](const QString &line) { mainWindow->postLog(line); }, run);
    if (!m_pQueue->submit(job))
        return;
    clearCards(settings.mode);
    m_cards.reserve(settings.cards);
    m_shownCsv.clear();
    m_run = std::move(run);
    setRunning(true);
    m_progressTimer.start();
}

QString TabBurnIn::resultsFolder()
{
    return QDir::current().absoluteFilePath(kResultsFolder);
}

// The name the station's records carry; the host's name unless config.ini gives one.
QString TabBurnIn::station()
{
    const QString name = RWIni::load(kConfigFile, kResultsGroup, kStationKey, QString()).trimmed();
    return name.isEmpty() ? QSysInfo::machineHostName() : name;
}

bool TabBurnIn::resumable(const ResultsRunSummary &run)
{
    return run.state == ResultsRunState::Interrupted || run.state == ResultsRunState::Incomplete;
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
    ui->LabelSummary->setText(m_figures.text());
}

void TabBurnIn::addCards(const QVector<BurnInRecord> &cards, const BurnInFigures &figures)
{
    if (cards.isEmpty())
        return;
    m_cards.append(cards);
    for (const BurnInRecord &card : cards)
        m_chart->series().add(card);
    m_figures = figures;
    m_chart->series().setP95Seconds(figures.p95Seconds);
    ui->LabelSummary->setText(m_figures.text());
    m_chart->refresh();
}

void TabBurnIn::showView(QWidget *view)
{
    for (QWidget *each : {static_cast<QWidget *>(ui->TableCards), static_cast<QWidget *>(m_chart),
             static_cast<QWidget *>(ui->ListRuns)}) {
        each->setVisible(each == view);
    }
    updateResume();
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

void TabBurnIn::on_BtnShowHistory_clicked()
{
    showView(ui->ListRuns);
    scanHistory();
}

// The history reads the station database on a thread of its own, through a connection that it
// opens and closes there; runs that exist only as CSV files from before are taken in first.
void TabBurnIn::scanHistory()
{
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

void TabBurnIn::showHistory(const QVector<ResultsRunSummary> &runs, const QStringList &skipped,
    const QStringList &notices)
{
    for (const QString &notice : notices)
        log(QStringLiteral(">>>") + notice);
    for (const QString &skip : skipped) {
        if (!m_reportedSkips.contains(skip)) {
            m_reportedSkips.insert(skip);
            log(QStringLiteral(">>>不是老化测试记录，已跳过：") + skip);
        }
    }
    // The run the operator chose stays chosen when the list is read again.
    const int current = ui->ListRuns->currentRow();
    const QString chosen = current >= 0 && current < m_runs.size() ? m_runs.at(current).runId
                                                                   : QString();
    m_runs = runs;
    ui->ListRuns->clear();
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
    updateResume();
    emit historyScanned();
}

void TabBurnIn::updateResume()
{
    const int row = ui->ListRuns->currentRow();
    ui->BtnResume->setEnabled(!m_run && !ui->ListRuns->isHidden() && row >= 0
        && row < m_runs.size() && resumable(m_runs.at(row)));
}

void TabBurnIn::on_ListRuns_itemActivated(QListWidgetItem *item)
{
    const int row = ui->ListRuns->row(item);
    if (row < 0 || row >= m_runs.size())
        return;
    // The table and the chart follow the run under way until it ends.
    if (m_run) {
        log(QStringLiteral(">>>老化测试进行中，结束后才能打开记录"));
        return;
    }
    const ResultsRunSummary run = m_runs.at(row);
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

void TabBurnIn::showRun(const ResultsRunSummary &run, const QVector<BurnInRecord> &cards,
    const BurnInFigures &figures)
{
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
    updateResume();
}
