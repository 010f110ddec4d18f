// SPDX-License-Identifier: MIT
#include "engine/station/cstation.h"

#include "engine/burnin/burninoptions.h"
#include "engine/burnin/burninreportsource.h"
#include "engine/burnin/cburninprogress.h"
#include "engine/station/cstationdevice.h"
#include "engine/store/cresultsstore.h"
#include "engine/store/cstationlock.h"
#include "engine/upload/cresultsserver.h"

#include <utility>

namespace {

// What the station's end gives the upload for what is left; the rest goes at the next start.
constexpr int kUploadFinishMs = 2000;

// Opens the server and reads from it on the calling thread; why it could not, or empty.
template<typename Read> QString readServerNow(const QString &serverText, Read read)
{
    QString failure;
    const std::optional<ResultsServerAddress> address = parseResultsServer(serverText, &failure);
    if (!address)
        return failure;
    CResultsServer server;
    if (!server.open(*address) || !read(server))
        return server.error();
    return QString();
}

} // namespace

CStation::CStation(std::unique_ptr<CStationDevice> device, QObject *parent)
    : QObject(parent)
    , m_device(std::move(device))
    , m_serverText(BurnInConfig::resultsServer().trimmed())
    , m_upload(std::make_unique<CResultsUpload>(resultsFolder(), m_serverText))
{
    m_readers.setMaxThreadCount(1);
}

// A read in progress answers through the station, so it must end first. What the upload says
// now is not shown: the front end that showed it may be gone.
CStation::~CStation()
{
    m_readers.clear();
    m_readers.waitForDone();
    m_upload->disconnect();
    m_upload->finish(m_stoppedNow ? 0 : kUploadFinishMs);
}

QString CStation::resultsFolder()
{
    return BurnInConfig::resultsFolder();
}

QString CStation::name()
{
    return BurnInConfig::station();
}

std::shared_ptr<CBurnInProgress> CStation::start(CBurnInJob::Plan plan, CBurnInJob::LogLine log)
{
    if (!m_device->isLoaded())
        return nullptr;
    plan.resultsFolder = resultsFolder();
    plan.station = name();
    plan.libraryPath = m_device->libraryPath();
    auto progress = std::make_shared<CBurnInProgress>();
    if (!m_device->run(std::move(plan), std::move(log), progress))
        return nullptr;
    m_run = progress;
    return progress;
}

void CStation::stop()
{
    if (!m_run)
        return;
    m_run->requestStop();
    m_device->wakeWaiters();
}

void CStation::stopNow()
{
    m_stoppedNow = true;
    m_device->abort();
}

template<typename Read, typename Answer> void CStation::readInTurn(Read read, Answer answer)
{
    m_readers.start([this, read = std::move(read), answer = std::move(answer)] {
        auto result = read();
        QMetaObject::invokeMethod(
            this, [answer, result = std::move(result)] { answer(result); }, Qt::QueuedConnection);
    });
}

// Through a connection that the read opens and closes on its own thread.
void CStation::readHistory(const QString &ownRunId)
{
    struct History
    {
        QVector<ResultsRunSummary> runs;
        QStringList skipped;
        QStringList notices;
    };
    const QString folder = resultsFolder();
    const QString station = name();
    const int serial = ++m_readSerial;
    readInTurn(
        [folder, station, ownRunId] {
            History history;
            CResultsStore store;
            if (store.open(folder)) {
                store.importCsvRuns(station, &history.skipped);
                history.runs = store.runs(CStationLock::isHeldByLiveProcess(folder), ownRunId);
            }
            history.notices << store.notice() << store.error();
            history.notices.removeAll(QString());
            return history;
        },
        [this, serial](const History &history) {
            if (serial == m_readSerial)
                emit historyRead(history.runs, history.skipped, history.notices);
        });
}

// The server's timeouts bound a read of a lost network.
void CStation::readFleet(const ResultsFleet::FleetFilter &filter, int offset, int limit)
{
    struct Fleet
    {
        ResultsFleet::FleetPage page;
        QString failure;
    };
    const QString server = m_serverText;
    const int serial = ++m_readSerial;
    readInTurn(
        [server, filter, offset, limit] {
            Fleet fleet;
            fleet.failure = readServerNow(server, [&](CResultsServer &connection) {
                const auto page = ResultsFleet::runs(connection, filter, offset, limit);
                if (page)
                    fleet.page = *page;
                return page.has_value();
            });
            return fleet;
        },
        [this, serial](const Fleet &fleet) {
            if (serial == m_readSerial)
                emit fleetRead(fleet.page, fleet.failure);
        });
}

void CStation::readModels()
{
    struct Models
    {
        QVector<ResultsFleet::ModelFigures> models;
        QString failure;
    };
    const QString server = m_serverText;
    readInTurn(
        [server] {
            Models found;
            found.failure = readServerNow(server, [&](CResultsServer &connection) {
                const auto models = ResultsFleet::models(connection);
                if (models)
                    found.models = *models;
                return models.has_value();
            });
            return found;
        },
        [this](const Models &found) { emit modelsRead(found.models, found.failure); });
}

void CStation::readUnitHistory(const QString &serial)
{
    struct Unit
    {
        ResultsFleet::UnitHistory history;
        QString failure;
    };
    const QString server = m_serverText;
    readInTurn(
        [server, serial] {
            Unit unit;
            unit.history.serial = serial;
            unit.failure = readServerNow(server, [&](CResultsServer &connection) {
                const auto history = ResultsFleet::unitHistory(connection, serial);
                if (history)
                    unit.history = *history;
                return history.has_value();
            });
            return unit;
        },
        [this](const Unit &unit) { emit unitHistoryRead(unit.history, unit.failure); });
}

void CStation::readFailureModes(const QString &model, const QDate &from, const QDate &to)
{
    struct Modes
    {
        QVector<ResultsFleet::FailureMode> modes;
        QString failure;
    };
    const QString server = m_serverText;
    readInTurn(
        [server, model, from, to] {
            Modes found;
            found.failure = readServerNow(server, [&](CResultsServer &connection) {
                const auto modes = ResultsFleet::failureModes(connection, model, from, to);
                if (modes)
                    found.modes = *modes;
                return modes.has_value();
            });
            return found;
        },
        [this, model](
            const Modes &found) { emit failureModesRead(model, found.modes, found.failure); });
}

void CStation::readRun(const ResultsRunSummary &run)
{
    struct Opened
    {
        QVector<BurnInRecord> cards;
        BurnInFigures figures;
        QString error;
    };
    const QString folder = resultsFolder();
    const int serial = ++m_readSerial;
    readInTurn(
        [folder, run] {
            Opened opened;
            {
                CResultsStore store;
                if (store.open(folder))
                    opened.cards = store.cards(run.runId);
                opened.error = store.error();
            }
            // Computed here, where the cards are, rather than on the front end's thread.
            CBurnInSummary summary(run.plan.mode);
            for (const BurnInRecord &card : std::as_const(opened.cards))
                summary.add(card);
            opened.figures = summary.figures();
            return opened;
        },
        [this, run, serial](const Opened &opened) {
            if (serial == m_readSerial)
                emit runRead(run, opened.cards, opened.figures, opened.error);
        });
}

std::optional<BurnInReportData> CStation::reportData(const QString &runId, QString *error)
{
    return readReport(resultsFolder(), runId, error);
}

std::optional<BurnInReportData> CStation::readReport(
    const QString &folder, const QString &runId, QString *error)
{
    CResultsStore store;
    if (!store.open(folder)) {
        *error = store.error();
        return std::nullopt;
    }
    return loadBurnInReport(store, runId, error);
}

void CStation::writeReport(const QString &runId, const QString &csvPath)
{
    struct Loaded
    {
        std::optional<BurnInReportData> data;
        QString error;
    };
    const QString folder = resultsFolder();
    readInTurn(
        [folder, runId] {
            Loaded loaded;
            loaded.data = readReport(folder, runId, &loaded.error);
            return loaded;
        },
        [this, csvPath](const Loaded &loaded) {
            const QString path = burnInReportPath(csvPath);
            QString why = loaded.error;
            if (loaded.data && CBurnInReport::write(*loaded.data, path, &why))
                emit reportWritten(path);
            else
                emit reportFailed(why);
        });
}
