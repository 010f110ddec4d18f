// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninjob.h"
#include "engine/burnin/cburninreport.h"
#include "engine/burnin/cburninsummary.h"
#include "engine/records/resultsrun.h"
#include "engine/upload/cresultsforwarder.h"
#include "engine/upload/resultsfleet.h"

#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <QVector>

#include <memory>
#include <optional>

class CBurnInProgress;
class CStationDevice;

// A test station as both front ends drive it: its device for burn-ins, its record in the working
// folder (results/ and the station lock, which each run holds), and the upload of that record
// to the shared server in config.ini. It starts, continues and stops runs, writes their reports
// and answers the history. The front end shows what it reports: a run's progress from the
// CBurnInProgress that start() returns, and everything read from the record or the server by
// the signals below. Created and used on one thread (the GUI thread); the runs go on the device's
// thread and the reads on a thread of the station's own.
class CStation : public QObject
{
    Q_OBJECT

public:
    // The fleet's runs a page lists.
    static constexpr int kFleetPageRuns = 50;

    explicit CStation(std::unique_ptr<CStationDevice> device, QObject *parent = nullptr);
    // Waits for a read under way; gives the upload a bounded time for what is left.
    ~CStation() override;

    CStationDevice &device() { return *m_device; }
    // From config.ini, as every run of the station uses them.
    static QString resultsFolder();
    static QString name();
    // [results] server as the station was created; empty for none.
    QString serverText() const { return m_serverText; }

    // Starts a new run, or goes on with plan.continueRunId, once the device has finished what was
    // queued before it; the station fills in its folder, name and library. The run's progress,
    // or null when the device library is not loaded or the device is stopping.
    std::shared_ptr<CBurnInProgress> start(CBurnInJob::Plan plan, CBurnInJob::LogLine log);
    // The run started last, until release().
    const std::shared_ptr<CBurnInProgress> &run() const { return m_run; }
    // Once the front end has taken the last of a finished run.
    void release() { m_run.reset(); }
    // The card in hand is finished, then the run ends and is recorded.
    void stop();
    // The run ends at once: the call under way is cut off, the card in hand is not recorded, and
    // the station's end does not wait for the server (the outbox keeps what it has not sent).
    void stopNow();

    // Forwards the station's record to the server for as long as the station exists, once its
    // signals are connected; without a server it stays NotConfigured.
    CResultsUpload &upload() { return *m_upload; }

    // Reads in the background, one after the other. A history (of this station, or of the fleet)
    // or an opened run that a newer one of the three has overtaken is dropped on arrival.
    // ownRunId: the run this process runs right now, which the history shows as running.
    void readHistory(const QString &ownRunId);
    // A page of the fleet's runs that match the filter, read on the server.
    void readFleet(
        const ResultsFleet::FleetFilter &filter = {}, int offset = 0, int limit = kFleetPageRuns);
    // Each model's pooled figures, which take the server a scan of every card: read apart from
    // the pages, so that a page shows without waiting for them and one that the server cannot
    // read in time leaves the pages alone.
    void readModels();
    // A unit's runs on every station, and a model's failure modes in a period.
    void readUnitHistory(const QString &serial);
    void readFailureModes(const QString &model, const QDate &from, const QDate &to);
    void readRun(const ResultsRunSummary &run);
    // The run's report beside its CSV: read in the background, written on the station's thread,
    // which has the fonts; reportWritten or reportFailed tells.
    void writeReport(const QString &runId, const QString &csvPath);
    // The run's report as the record holds it, read now on the calling thread.
    static std::optional<BurnInReportData> reportData(const QString &runId, QString *error);

signals:
    // Runs that existed only as CSV files are imported first; skipped names the files that are
    // not burn-in records, notices what the database said (a broken file set aside, an error).
    void historyRead(const QVector<ResultsRunSummary> &runs, const QStringList &skipped,
        const QStringList &notices);
    // failure: why the server could not be read, or empty.
    void fleetRead(const ResultsFleet::FleetPage &page, const QString &failure);
    void modelsRead(const QVector<ResultsFleet::ModelFigures> &models, const QString &failure);
    void unitHistoryRead(const ResultsFleet::UnitHistory &history, const QString &failure);
    void failureModesRead(const QString &model, const QVector<ResultsFleet::FailureMode> &modes,
        const QString &failure);
    // error: why its cards could not be read, or empty.
    void runRead(const ResultsRunSummary &run, const QVector<BurnInRecord> &cards,
        const BurnInFigures &figures, const QString &error);
    void reportWritten(const QString &path);
    void reportFailed(const QString &why);

private:
    // Runs read on the readers' thread and then answer on the station's, unless overtaken.
    template<typename Read, typename Answer> void readInTurn(Read read, Answer answer);
    static std::optional<BurnInReportData> readReport(
        const QString &folder, const QString &runId, QString *error);

    const std::unique_ptr<CStationDevice> m_device;
    const QString m_serverText;
    std::shared_ptr<CBurnInProgress> m_run;
    std::unique_ptr<CResultsUpload> m_upload;
    // Reading a long run's record takes seconds; one thread keeps the reads in order.
    QThreadPool m_readers;
    int m_readSerial = 0;
    bool m_stoppedNow = false;
};
