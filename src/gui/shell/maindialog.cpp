// SPDX-License-Identifier: MIT
#include "gui/shell/maindialog.h"

#include "engine/burnin/burninoptions.h"
#include "engine/device/devicelibrary.h"
#include "engine/station/cstation.h"
#include "engine/station/cstationdevice.h"
#include "gui/burnin/tabburnin.h"
#include "gui/cardtest/tabkeypad.h"
#include "qtcompat.h"
#include "ui_maindialog.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFont>
#include <QThread>
#include <QTimer>

namespace {
// The burn-in page's row in the page list, and so its index in the page stack.
constexpr int kBurnInPage = 1;
// The list's font weight is 62 on the old 0-99 scale, which the form cannot express; Qt maps
// that weight to the nearest of its named weights, demi-bold.
const QFont::Weight kListWeight = QFont::DemiBold;
// How the form's style sheet gives that weight: on Qt 6's scale, where Qt 5 would read it as bold.
const char kFormListWeight[] = "font-weight: 600;";
// Lines from test threads are appended in slices of at most about this long, so that a flood of
// lines never keeps the window from painting or answering for a whole frame.
const qint64 kLogSliceMs = 4;
// Scrolling to the newest line costs about half as much as appending one; it is done once a chunk.
const int kLogChunkLines = 16;

// Restates the list's weight in its style sheet for the running Qt; under Qt 6 nothing changes.
void restateListWeight(QWidget *list)
{
    const QString sheet = list->styleSheet();
    QString restated = sheet;
    restated.replace(QLatin1String(kFormListWeight),
        QStringLiteral("font-weight: %1;").arg(QtCompat::styleSheetWeight(kListWeight)));
    if (restated != sheet)
        list->setStyleSheet(restated);
}
} // namespace

MainDialog::MainDialog(QWidget *parent)
    : CustomTopBarDialog(parent)
    , m_deviceQueue(m_sdk)
    , ui(new Ui_MainDialog)
    , m_configDlg(nullptr)
{
    ui->setupUi(this);
    QFont listFont = ui->listWidget->font();
    listFont.setWeight(kListWeight);
    ui->listWidget->setFont(listFont);
    restateListWeight(ui->listWidget);

    Init(ui->widget_topBar, ui->menuButton_Close, nullptr, nullptr, false, false, true);

    auto *keypad = new TabKeypad(this);
    m_vecPages.push_back(std::make_unique<TabPage>(TabPage {keypad, "密码键盘"}));
    // Built when first shown: its form, table and chart would add to every start-up. An empty
    // widget holds its place in the stack until then.
    m_vecPages.push_back(std::make_unique<TabPage>(TabPage {new QWidget, "老化测试"}));
    for (const auto &page : m_vecPages)
        ui->stackedWidget->addWidget(page->pPage);
    ui->stackedWidget->setCurrentIndex(0);

    qDebug() << "start load so";
    if (!m_sdk.Init(kDeviceLibraryPath))
        qDebug() << "load libvarnak_c.so failed";

    ui->pushButton_2->setVisible(false);

    // The burn-in page forwards the station's records: with a server, it is built once the
    // window is up, so that what earlier runs left behind goes now.
    if (!BurnInConfig::resultsServer().trimmed().isEmpty())
        QTimer::singleShot(0, this, [this] { burnInPage(); });

    // A timer, not a posted event: the event loop dispatches posted events before timers, so a
    // slice posted after a slice could run twice before any timer of the window.
    m_nextLogSlice.setSingleShot(true);
    m_nextLogSlice.setInterval(0);
    connect(&m_nextLogSlice, &QTimer::timeout, this, &MainDialog::drainLog);
}

MainDialog::~MainDialog()
{
    // Jobs still running on the pool report to the pages and call the library: stop and wait
    // for them before the form, the pages and the library go away. A burn-in's driver host is
    // killed first, so that closing never waits for a call that hangs.
    if (m_station)
        m_station->stopNow();
    m_deviceQueue.stop();
    // The page goes while the station it shows is still there.
    delete m_pBurnIn;
    m_station.reset();
    delete ui;
    m_vecPages.clear();
}

// Lines that test threads posted before this one go first, or the pane would show the line of a
// later event above theirs. While some wait, this one queues behind them rather than appending a
// long backlog at once, which would freeze the window.
void MainDialog::Log(const QString &str)
{
    if (m_pendingLog.pushIfWaiting(str))
        return;
    appendLines({str});
}

void MainDialog::postLog(const QString &str)
{
    if (QThread::currentThread() == thread()) {
        Log(str);
        return;
    }
    if (m_pendingLog.push(str))
        QMetaObject::invokeMethod(this, &MainDialog::drainLog, Qt::QueuedConnection);
}

void MainDialog::drainLog()
{
    QElapsedTimer slice;
    slice.start();
    do {
        const QStringList lines = m_pendingLog.take(kLogChunkLines);
        if (lines.isEmpty())
            return;
        appendLines(lines);
    } while (slice.elapsed() < kLogSliceMs);
    m_nextLogSlice.start();
}

// No event is handled between the lines of one call, so nothing can paint the pane or scroll it
// in between: one scroll at the end leaves it exactly as a scroll after every line would. The
// lines go in as one text, one paragraph each: the pane counts all its lines again after every
// append, which a long log makes the dearest part of it.
void MainDialog::appendLines(const QStringList &lines)
{
    ui->EditLog->appendPlainText(lines.join(QLatin1Char('\n')));
    ui->EditLog->moveCursor(QTextCursor::End);
}

int MainDialog::getCom()
{
    return m_configDlg.getCom();
}

char MainDialog::getBP()
{
    return m_configDlg.getBP();
}

int MainDialog::getBaud()
{
    return m_configDlg.getBaud();
}

void MainDialog::closeEvent(QCloseEvent *event)
{
    QDialog::closeEvent(event);
}

void MainDialog::showComSettings()
{
    m_configDlg.setWindowModality(Qt::ApplicationModal);
    m_configDlg.show();
}

void MainDialog::on_pushButton_2_clicked()
{
    showComSettings();
}

void MainDialog::on_listWidget_clicked(const QModelIndex &index)
{
    qDebug() << qint64(index.internalId()) << " " << index.row();
    if (index.row() == kBurnInPage)
        burnInPage();
    if (index.row() < ui->stackedWidget->count())
        ui->stackedWidget->setCurrentIndex(index.row());
}

// The page takes its placeholder's index, and its place as the current page if it had it.
TabBurnIn *MainDialog::burnInPage()
{
    if (m_pBurnIn)
        return m_pBurnIn;
    TabPage &record = *m_vecPages[kBurnInPage];
    QWidget *placeholder = record.pPage;
    // The station shares the window's device queue: the card test page and a burn-in never use
    // the device at once.
    m_station = std::make_unique<CStation>(std::make_unique<CHostDevice>(m_deviceQueue));
    m_pBurnIn = new TabBurnIn(*m_station, this);
    ui->stackedWidget->insertWidget(kBurnInPage, m_pBurnIn);
    if (ui->stackedWidget->currentWidget() == placeholder)
        ui->stackedWidget->setCurrentWidget(m_pBurnIn);
    ui->stackedWidget->removeWidget(placeholder);
    delete placeholder;
    record.pPage = m_pBurnIn;
    return m_pBurnIn;
}

void MainDialog::on_pushButton_clicked()
{
    ui->EditLog->clear();
}
