// SPDX-License-Identifier: MIT
#pragma once

#include "cli/cburnincommandline.h"
#include "engine/burnin/cburninprogress.h"
#include "engine/records/resultsrun.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>

class CStation;
class CStopSignals;

// The command line's burn-in: a station of its own over the device library of the working folder
// runs one burn-in (the same as the page's), and this shows its progress, turns SIGINT, SIGTERM
// and SIGHUP into a stop, writes the report of a run with a serial, and ends with the exit status.
// GUI thread; the job runs on the global thread pool and hands its lines over under a mutex.
class CBurnInRunner : public QObject
{
    Q_OBJECT

public:
    explicit CBurnInRunner(CBurnInCommandLine::Request request, QObject *parent = nullptr);
    ~CBurnInRunner() override;

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
    static QJsonArray events(const QString &runId, std::initializer_list<ResultsEventKind> kinds);
    void finishUpload();
    void print(const QString &line);
    void printError(const QString &line);
    void updateStatus();
    void showStatus();

    const CBurnInCommandLine::Request m_request;
    std::unique_ptr<CStation> m_station;
    std::shared_ptr<CBurnInProgress> m_progress;
    CStopSignals *m_signals = nullptr; // a child
    QTimer m_pollTimer;
    QElapsedTimer m_elapsed;
    // A SIGINT or SIGTERM has asked for a stop: the next one ends the run at once.
    bool m_secondSignalEnds = false;
    std::FILE *m_out = stdout; // progress and the job's lines
    bool m_terminal = false; // m_out is one: the status line is rewritten in place
    QString m_status; // the status line shown
    CBurnInProgress::Snapshot m_run; // the figures so far and the files
    qint64 m_libraryNs = 0; // inside library calls, this stretch's cards

    std::mutex m_linesMutex;
    QStringList m_lines; // from the job, not yet printed
};
