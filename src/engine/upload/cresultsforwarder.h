// SPDX-License-Identifier: MIT
#pragma once

#include "engine/store/cstationlock.h"
#include "engine/upload/cresultsoutbox.h"
#include "engine/upload/cresultsserver.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThread>
#include <QTimer>

#include <memory>

class CResultsStore;

// How far the station's records have reached the shared server, as LabelUpload and the command
// line tell it. Plain data, handed from the forwarder's thread.
struct ResultsUploadStatus
{
    enum class State {
        NotConfigured, // no [results] server
        Synced, // the server has every card
        Pending, // cards wait for the next batch
        Unreachable, // the last attempt failed; the backlog waits in the station's database
    };
    State state = State::NotConfigured;
    qint64 pendingCards = 0; // -1 before the first count
    QDateTime unreachableSince; // when the attempts began to fail
    qint64 forwardedCards = 0; // the cards this process has sent
    QString lastError; // why the last attempt failed; empty once one succeeds
    // Runs the server would refuse from this login, because they were written in another
    // station's name; they wait in the station's database for a login of that name.
    int heldBackRuns = 0;
    // Runs whose rows the server refused (a value it cannot take, say): they wait in the
    // station's database while the other runs go, and are offered again at the longest wait.
    int refusedRuns = 0;
};
Q_DECLARE_METATYPE(ResultsUploadStatus)

// 上传：未配置 / 已同步 / 待上传 N 张 / 服务器不可达（自 hh:mm:ss）
QString resultsUploadText(const ResultsUploadStatus &status);

// Sends the station's records to the shared server, on the thread it is moved to and through
// connections of its own (the station database's and the server's), as CResultsUpload runs it.
// It sends what the station has committed and the server lacks, a batch of cards at a time, and
// marks each batch sent only once the server has committed it. While the server cannot be
// reached it tries again after a few seconds, then less and less often; a refusal that no retry
// mends (password, privilege, schema) is said once and tried again only at the longest wait.
// When the server refuses a batch's rows, only the run that carries them waits, likewise.
// It sends only while it holds the station's upload lock, which it takes for each pass that has
// something to send and gives back after: while another process forwards, it waits its turn.
class CResultsForwarder : public QObject
{
    Q_OBJECT

public:
    // Cards per batch: one transaction of three statements on the server.
    static constexpr int kBatchCards = 1000;
    // The test hook: with this variable set, the process ends between the server's commit of
    // the first batch that carries cards and its mark in the station's database. (A run's row
    // can go alone, before its first card is committed.)
    static constexpr char kExitAfterCommitVariable[] = "CDT_FORWARD_EXIT_AFTER_COMMIT";

    CResultsForwarder(QString resultsFolder, ResultsServerAddress address);
    ~CResultsForwarder() override;

    // For a forwarding of the whole backlog on the calling thread (--upload): takes the upload
    // lock for the forwarder's life, waiting at most waitMs for another process to give it up.
    // False with *holder naming that process when it did not.
    bool claimUpload(int waitMs, QString *holder);
    // Sends until the server has everything it takes from this login, or the first failure,
    // which is not tried again; the status then counts what was sent and what stays.
    ResultsUploadStatus sendBacklog();

public slots:
    void start();
    // Sends what it can before the deadline, at once even while waiting to try again, then ends
    // the thread's event loop. What is left waits for the next start.
    void finish(qint64 deadlineMs);

signals:
    void statusChanged(const ResultsUploadStatus &status);
    // A line for the operator's log: why forwarding stopped, or that it works again.
    void line(const QString &text);

private:
    void run();
    // Sends batches until none is left, a failure, or the time slice is used; true when synced.
    bool send(const QDeadlineTimer &slice);
    bool openStore();
    void failed(CResultsServer::Failure failure, const QString &why);
    void recovered();
    // Says once why runs of another name wait, and counts them in the status.
    void holdBack(const QVector<CResultsOutbox::HeldBack> &held);
    // Sets the run aside after the server refused a batch of it alone, and says why.
    void refuse(const QString &runId);
    // Emits statusChanged when the state or the count changed; true when it did.
    bool report(ResultsUploadStatus::State state, qint64 pending);

    QString m_folder;
    ResultsServerAddress m_address;
    std::unique_ptr<CResultsStore> m_store;
    std::unique_ptr<CResultsServer> m_server;
    QTimer m_timer;
    int m_retryMs = 0; // 0 while nothing fails
    CResultsServer::Failure m_lastFailure = CResultsServer::Failure::None;
    QElapsedTimer m_sinceFailure;
    QDateTime m_unreachableSince;
    QString m_lastProblem;
    QString m_heldBackText;
    QSet<QString> m_refusedRuns;
    QSet<QString> m_refusalsSaid; // run and reason, each said once
    QString m_refusalText; // the last refusal's line
    QElapsedTimer m_sinceRefusal;
    // After a batch of several runs was refused: the batches of this pass take one run each,
    // so that the refusal falls on the run that carries it.
    bool m_oneRunAtATime = false;
    QElapsedTimer m_loginRead;
    CStationLock m_uploadLock;
    ResultsUploadStatus m_status;
    bool m_exitAfterCommit = false;
};

// Runs a CResultsForwarder on a thread of its own while the window or the command line runs,
// when config.ini names a server. GUI (or main) thread.
class CResultsUpload : public QObject
{
    Q_OBJECT

public:
    // serverText is [results] server; an empty one leaves the upload NotConfigured.
    CResultsUpload(QString resultsFolder, QString serverText, QObject *parent = nullptr);
    // Gives the forwarder a few seconds to send what is left, as finish() does.
    ~CResultsUpload() override;

    // Connect the signals first: a server text that cannot be used is said by a line here.
    void start();
    ResultsUploadStatus status() const { return m_status; }
    // Lets the forwarder send for at most ms, then stops its thread, waiting a bounded time for a
    // batch under way (the server cancels a statement after a few seconds). Idempotent.
    void finish(int ms);

signals:
    void statusChanged(const ResultsUploadStatus &status);
    void line(const QString &text);

private:
    QString m_folder;
    QString m_serverText;
    QThread *m_thread = nullptr; // owned, unless it outlived every wait
    CResultsForwarder *m_forwarder = nullptr; // lives on m_thread, which deletes it
    ResultsUploadStatus m_status;
};
