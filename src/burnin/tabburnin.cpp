// SPDX-License-Identifier: MIT
#include "burnin/tabburnin.h"

#include "burnin/cburninjob.h"
#include "config/rwini.h"
#include "device/cdevicequeue.h"
#include "device/zov_sdk.h"
#include "shell/maindialog.h"
#include "ui_tabburnin.h"

#include <QDir>
#include <QHeaderView>
#include <QRunnable>

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
    ui->TableCards->setModel(&m_cards);
    QHeaderView *columns = ui->TableCards->horizontalHeader();
    for (const auto &[column, width] : kColumnWidths)
        columns->resizeSection(column, width);
    columns->setStretchLastSection(true);
    ui->TableCards->verticalHeader()->setDefaultSectionSize(kRowHeight);
    ui->TableCards->verticalHeader()->hide();
    connect(
        &m_cards, &QAbstractItemModel::rowsInserted, ui->TableCards, &QTableView::scrollToBottom);
    m_progressTimer.setInterval(kProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &TabBurnIn::takeProgress);
    loadSettings();
    ui->LabelSummary->setText(m_summary.text());
    setRunning(false);
}

// A run still going holds its job; the main window stops the queue before its pages go.
TabBurnIn::~TabBurnIn()
{
    delete ui;
}

void TabBurnIn::loadSettings()
{
    const int cards = RWIni::load(kConfigFile, kGroup, kCardsKey, kDefaultCards);
    ui->SpinCount->setValue(cards > 0 ? cards : kDefaultCards);
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
    if (m_job)
        return;
    if (!m_pSdk->pOpenDevice) {
        log(QStringLiteral(">>not found sdk"));
        return;
    }
    saveSettings();
    BurnInSettings settings;
    settings.cards = ui->SpinCount->value();
    settings.mode = ui->RadioHandOut->isChecked() ? BurnInMode::HandOut : BurnInMode::Capture;
    settings.stopOnFailure = ui->CheckStopOnFailure->isChecked();

    auto *mainWindow = static_cast<MainDialog *>(m_pMainWindow);
    auto job = std::make_shared<CBurnInJob>(*m_pSdk, m_pQueue->gate(), settings,
        QDir::current().absoluteFilePath(kResultsFolder),
        [mainWindow](const QString &line) { mainWindow->postLog(line); });
    if (!m_pQueue->submit(QRunnable::create([job] { job->exec(); })))
        return;
    m_cards.clear();
    m_summary.clear();
    ui->LabelSummary->setText(m_summary.text());
    m_job = std::move(job);
    setRunning(true);
    m_progressTimer.start();
}

void TabBurnIn::on_BtnStop_clicked()
{
    if (!m_job)
        return;
    m_job->requestStop();
    ui->BtnStop->setEnabled(false);
}

void TabBurnIn::takeProgress()
{
    const CBurnInJob::Progress progress = m_job->take();
    for (const BurnInRecord &card : progress.cards) {
        m_cards.append(card);
        m_summary.add(card);
    }
    if (!progress.cards.isEmpty())
        ui->LabelSummary->setText(m_summary.text());
    if (!progress.finished)
        return;

    m_progressTimer.stop();
    m_cards.flush();
    if (progress.started) {
        log(QStringLiteral(">>>老化测试结束（%1）：%2")
                .arg(burnInEndText(progress.end), m_summary.text()));
        log(QStringLiteral(">>>记录文件：%1，%2").arg(m_job->csvPath(), m_job->logPath()));
    }
    m_job.reset();
    setRunning(false);
}

void TabBurnIn::setRunning(bool running)
{
    ui->BtnStart->setEnabled(!running);
    ui->BtnStop->setEnabled(running);
    ui->SpinCount->setEnabled(!running);
    ui->RadioCapture->setEnabled(!running);
    ui->RadioHandOut->setEnabled(!running);
    ui->CheckStopOnFailure->setEnabled(!running);
}
