// SPDX-License-Identifier: MIT
#include "cli/cburninrunner.h"

#include "cli/burninexitstatus.h"
#include "cli/clitext.h"
#include "cli/cstopsignals.h"
#include "cli/toolkitmessages.h"
#include "engine/burnin/burninreportsource.h"
#include "engine/burnin/cburninjob.h"
#include "engine/burnin/cburninprogress.h"
#include "engine/burnin/cburninreport.h"
#include "engine/device/devicelibrary.h"
#include "engine/station/cstation.h"
#include "engine/station/cstationdevice.h"
#include "engine/store/cresultsstore.h"
#include "engine/upload/cresultsforwarder.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>

#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <utility>

namespace {

// Often enough that the status line follows the run, seldom enough to cost nothing.
constexpr int kPollIntervalMs = 200;
// How long the last cards may take to reach the results server once the run has ended.
constexpr int kUploadFinishMs = 5000;
const char kClearLine[] = "\r\033[K";

QString withoutMarker(const QString &line)
{
    return line.startsWith(QLatin1String(">>>")) ? line.mid(3) : line;
}

} // namespace

CBurnInRunner::CBurnInRunner(CBurnInCommandLine::Request request, QObject *parent)
    : QObject(parent)
    , m_request(std::move(request))
{
    if (m_request.json)
        m_out = stderr;
    m_terminal = ::isatty(::fileno(m_out)) != 0;
    m_pollTimer.setInterval(kPollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &CBurnInRunner::poll);
}

CBurnInRunner::~CBurnInRunner() = default;

std::optional<int> CBurnInRunner::start()
{
    m_elapsed.start();
    ToolkitMessages::release();
    // The library loads in a driver host, which says on standard error why it did not.
    auto device = std::make_unique<CHostDevice>(QString::fromLatin1(kDeviceLibraryPath));
    if (!device->isLoaded()) {
        const QString error = device->loadError();
        printError(error);
        if (m_request.json)
            printJson(CliText::failure(BurnInExitStatus::NoDevice, error));
        return int(BurnInExitStatus::NoDevice);
    }
    m_signals = new CStopSignals(this);
    connect(m_signals, &CStopSignals::received, this, &CBurnInRunner::stopRequested);

    CBurnInJob::Plan plan;
    plan.settings = m_request.options.settings;
    plan.unit = m_request.options.unit;
    plan.limits = m_request.options.limits;
    plan.continueRunId = m_request.continueRunId;
    plan.limitsShown = m_request.limitsShown;
    plan.namesRunId = true;
    // Without a terminal the log gets a line of figures every hundred cards; on one, the
    // status line shows them all the time. --quiet leaves out both.
    const bool showLine = !m_terminal && !m_request.quiet;
    const QElapsedTimer *elapsed = &m_elapsed;
    plan.progressLine = [showLine, elapsed](const BurnInFigures &figures,
                            const Qualification::Plan &limits, int firstCard) {
        return showLine ? CliText::progressLine(figures, limits, firstCard, elapsed->elapsed())
                        : QString();
    };
    const auto log = [this](const QString &line) {
        const std::lock_guard<std::mutex> lock(m_linesMutex);
        m_lines.append(line);
    };
    m_station = std::make_unique<CStation>(std::move(device));
    m_progress = m_station->start(std::move(plan), log);
    if (!m_progress)
        return int(BurnInExitStatus::NoDevice);
    m_pollTimer.start();
    connect(&m_station->upload(), &CResultsUpload::line, this, &CBurnInRunner::print);
    m_station->upload().start();
    return std::nullopt;
}

// The snapshot before the lines: the job logs its end before it finishes, so the poll that sees
// the run finished also prints its last lines.
void CBurnInRunner::poll()
{
    const CBurnInProgress::Snapshot snapshot = m_progress->take();
    QStringList lines;
    {
        const std::lock_guard<std::mutex> lock(m_linesMutex);
        lines.swap(m_lines);
    }
    // Only this stretch's cards were timed: those read back from the record carry no times.
    m_libraryNs = std::accumulate(snapshot.cards.cbegin(), snapshot.cards.cend(), m_libraryNs,
        [&snapshot](qint64 sum, const BurnInRecord &card) {
            return card.index >= snapshot.firstCard ? sum + card.libraryNs : sum;
        });
    if (snapshot.started) {
        m_run.started = true;
        m_run.csvPath = snapshot.csvPath;
        m_run.logPath = snapshot.logPath;
        m_run.runId = snapshot.runId;
        m_run.limits = snapshot.limits;
        m_run.firstCard = snapshot.firstCard;
        m_run.figures = snapshot.figures;
        updateStatus();
    }
    for (const QString &line : std::as_const(lines))
        print(withoutMarker(line));
    showStatus();
    if (snapshot.finished) {
        m_run.outcome = snapshot.outcome;
        end(m_run);
    }
}

void CBurnInRunner::updateStatus()
{
    if (m_terminal && !m_request.quiet)
        m_status = CliText::progressLine(
            m_run.figures, m_run.limits, m_run.firstCard, m_elapsed.elapsed());
}

void CBurnInRunner::showStatus()
{
    if (m_status.isEmpty())
        return;
    std::fputs(kClearLine, m_out);
    std::fputs(m_status.toLocal8Bit().constData(), m_out);
    std::fflush(m_out);
}

void CBurnInRunner::print(const QString &line)
{
    if (m_terminal)
        std::fputs(kClearLine, m_out);
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), m_out);
    std::fflush(m_out);
}

void CBurnInRunner::printError(const QString &line)
{
    // The status line is redrawn at the next poll, below the error.
    if (!m_status.isEmpty()) {
        std::fputs(kClearLine, m_out);
        std::fflush(m_out);
    }
    std::fputs(
        (QCoreApplication::applicationName() + QStringLiteral(": ") + line + QLatin1Char('\n'))
            .toLocal8Bit()
            .constData(),
        stderr);
    std::fflush(stderr);
}

// The first signal lets the card in hand finish; a second SIGINT or SIGTERM soon after ends the
// run at its next library call or wait, and the job still records the cards that finished. A
// dropped SSH session may hang up more than once: SIGHUP only ever asks for the first.
void CBurnInRunner::stopRequested(int signal)
{
    const bool hangUp = signal == SIGHUP;
    if (hangUp && m_progress->stopRequested())
        return;
    if (!hangUp && m_secondSignalEnds) {
        printError(QStringLiteral("收到第二个信号 %1：立即结束，手中这张卡不计入").arg(signal));
        m_station->stopNow();
        return;
    }
    if (hangUp) {
        printError(QStringLiteral("收到信号 %1（连接断开）：完成手中这张卡后结束").arg(signal));
    } else {
        m_secondSignalEnds = true;
        printError(QStringLiteral(
            "收到信号 %1：完成手中这张卡后结束；再按一次 Ctrl-C 立即结束（手中这张卡不计入）")
                       .arg(signal));
    }
    m_station->stop();
}

void CBurnInRunner::end(const CBurnInProgress::Snapshot &snapshot)
{
    m_pollTimer.stop();
    if (m_terminal && !m_status.isEmpty() && !m_request.quiet) {
        std::fputs("\n", m_out);
        std::fflush(m_out);
    }
    m_status.clear();
    int status = BurnInExitStatus::fromOutcome(snapshot.outcome);
    const CBurnInProgress::Outcome &outcome = snapshot.outcome;
    QString error = outcome.notBegun != CBurnInProgress::NotBegun::No || outcome.recordFailed
        ? outcome.reason
        : QString();
    // A settled run is judged by its report, which the operator may not have yet.
    if (outcome.notBegun == CBurnInProgress::NotBegun::RunSettled)
        error += QStringLiteral("：%1 --report %2")
                     .arg(QCoreApplication::applicationName(), m_request.continueRunId);
    // The job's own line says why it did not begin; standard error gets it once.
    if (outcome.notBegun != CBurnInProgress::NotBegun::No && m_out != stderr)
        printError(QStringLiteral("老化测试未开始：") + error);
    const QString report = snapshot.started ? writeReport(snapshot, &status) : QString();
    // Ended at once: the outbox keeps what the server has not taken yet.
    if (outcome.end != CBurnInRun::End::Abandoned)
        finishUpload();
    if (m_request.json) {
        QJsonObject summary
            = CliText::summary(snapshot, status, report, m_elapsed.nsecsElapsed(), m_libraryNs);
        summary.insert("error", error);
        summary.insert("upload",
            CliText::upload(!m_station->serverText().isEmpty(), m_station->upload().status()));
        if (outcome.openCode != 0)
            summary.insert("openCode", outcome.openCode);
        if (snapshot.started) {
            summary.insert("interruptions", events(snapshot.runId, {ResultsEventKind::DeviceLost}));
            summary.insert("driverFaults",
                events(snapshot.runId,
                    {ResultsEventKind::DriverHang, ResultsEventKind::DriverCrash,
                        ResultsEventKind::HostLost}));
        }
        printJson(summary);
    }
    emit finished(status);
}

// The run's events of the given kinds over all its stretches: each time the dispenser could not
// be opened for a card, or its driver hung, crashed or was ended.
QJsonArray CBurnInRunner::events(
    const QString &runId, std::initializer_list<ResultsEventKind> kinds)
{
    QJsonArray list;
    CResultsStore store;
    if (!store.open(BurnInConfig::resultsFolder()))
        return list;
    for (const ResultsRunEvent &event : store.events(runId)) {
        if (std::find(kinds.begin(), kinds.end(), event.kind) != kinds.end())
            list.append(QJsonObject {{"at", event.at.toString(Qt::ISODateWithMs)},
                {"kind", resultsEventKindKey(event.kind)}, {"reason", event.reason}});
    }
    return list;
}

void CBurnInRunner::printJson(const QJsonObject &object)
{
    std::fputs(QJsonDocument(object).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

// The run's last cards go to the server before the runner ends, as far as the server lets them in
// a few seconds; what it cannot take waits in the station's database for the next start.
void CBurnInRunner::finishUpload()
{
    m_station->upload().finish(kUploadFinishMs);
    const ResultsUploadStatus upload = m_station->upload().status();
    if (upload.state == ResultsUploadStatus::State::Pending
        || upload.state == ResultsUploadStatus::State::Unreachable)
        print(QStringLiteral("上传未完成：%1 张留在本机，下次启动时上传").arg(upload.pendingCards));
}

// From the station's database, over all stretches, as the page writes it; only for a run with
// a serial, since a report is about one unit. A report that cannot be written leaves the record
// incomplete.
QString CBurnInRunner::writeReport(const CBurnInProgress::Snapshot &snapshot, int *exitStatus)
{
    QString error;
    const std::optional<BurnInReportData> data = CStation::reportData(snapshot.runId, &error);
    if (data && data->serial.isEmpty())
        return QString();
    QString path = burnInReportPath(snapshot.csvPath);
    if (data && CBurnInReport::write(*data, path, &error)) {
        print(QStringLiteral("报告：") + path);
        return path;
    }
    printError(QStringLiteral("无法写入报告 %1：%2").arg(path, error));
    *exitStatus = BurnInExitStatus::RecordFailed;
    return QString();
}
