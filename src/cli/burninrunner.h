// SPDX-License-Identifier: MIT
#pragma once

#include "burnin/cburninprogress.h"
#include "cli/burnincommandline.h"
#include "device/zov_sdk.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>

class CDeviceQueue;
class CResultsUpload;
class StopSignals;

// The command line's burn-in: loads the device library from the working folder, runs one job on
// its own device queue (the same job as the page's), shows its progress, turns SIGINT, SIGTERM
// and SIGHUP into a stop, writes the report of a run with a serial, and ends with the exit status.
// GUI thread; the job runs on the global thread pool and hands its lines over under a mutex.
class BurnInRunner : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSecondSignalMs = 2000;

    explicit BurnInRunner(BurnInCommandLine::Request request, QObject *parent = nullptr);
    ~BurnInRunner() override;

    // The exit status when the run could not be started at all; otherwise the run goes on in
    // the event loop and finished() tells its status.
    std::optional<int> start();
    // One JSON object as a line of standard output, as every exit with --json writes it.
    static void printJson(const QJsonObject &object);

signals:
    void finished(int exitStatus);

private:
    void poll();
    void stopRequested(int signal);
    void end(const CBurnInProgress::Snapshot &snapshot);
    QString writeReport(const CBurnInProgress::Snapshot &snapshot, int *exitStatus);
    static QJsonArray interruptions(const QString &runId);
    void finishUpload();
    void print(const QString &line);
    void printError(const QString &line);
    void updateStatus();
    void showStatus();

    const BurnInCommandLine::Request m_request;
    ZOV_SDK m_sdk;
    std::unique_ptr<CDeviceQueue> m_queue; // stopped and gone before the loader
    std::shared_ptr<CBurnInProgress> m_progress;
    StopSignals *m_signals = nullptr; // a child
    CResultsUpload *m_upload = nullptr; // a child
    QTimer m_pollTimer;
    QElapsedTimer m_elapsed;
    QElapsedTimer m_lastSignal;
    std::FILE *m_out = stdout; // progress and the job's lines
    bool m_terminal = false; // m_out is one: the status line is rewritten in place
    QString m_status; // the status line shown
    CBurnInProgress::Snapshot m_run; // the figures so far and the files
    qint64 m_libraryNs = 0; // inside library calls, this stretch's cards

    std::mutex m_linesMutex;
    QStringList m_lines; // from the job, not yet printed
};
