// SPDX-License-Identifier: MIT
#include "engine/upload/cresultsforwarder.h"

#include "engine/store/cresultsstore.h"
#include "engine/upload/cresultsoutbox.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <unistd.h>

#include <algorithm>
#include <utility>

namespace {

// How soon a new card is looked for once the server has everything: well inside the two seconds
// a card may take to reach the server.
constexpr int kPollMs = 500;
// A slice of sending before the thread looks at its events again, so that finish() is heard.
constexpr int kSliceMs = 200;
// The waits between failed attempts: doubling from the first to the last.
constexpr int kFirstRetryMs = 2000;
constexpr int kLastRetryMs = 300000;
// What a stop waits for beyond the sending time: a connection attempt (libpq's connect_timeout
// per address) or a statement (the session's statement_timeout) under way.
constexpr int kStopMarginMs = 6000;
// How often a login whose name holds runs back is asked again: an administrator who renames the
// role mends it without a restart.
constexpr int kLoginRecheckMs = 60000;
// The exit status of the test hook's end, which no other way out of the tool gives.
constexpr int kHookExitStatus = 99;

// A role's name as SQL takes it: bare when PostgreSQL would keep it as it is, else in double
// quotes, as a host name with a hyphen needs.
QString roleName(const QString &name)
{
    static const QRegularExpression bare(QStringLiteral("^[a-z_][a-z0-9_]*$"));
    if (bare.match(name).hasMatch())
        return name;
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString resultsUploadText(const ResultsUploadStatus &status)
{
    switch (status.state) {
    case ResultsUploadStatus::State::NotConfigured:
        return QStringLiteral("上传：未配置");
    case ResultsUploadStatus::State::Synced:
        return QStringLiteral("上传：已同步");
    case ResultsUploadStatus::State::Pending:
        if (status.heldBackRuns > 0)
            return QStringLiteral("上传：%1 次运行暂缓（工位名不是服务器登录名）")
                .arg(status.heldBackRuns);
        if (status.refusedRuns > 0)
            return QStringLiteral("上传：%1 次运行被服务器拒收").arg(status.refusedRuns);
        // Not yet counted, for the moment after a start.
        if (status.pendingCards < 0)
            return QStringLiteral("上传：待上传");
        return QStringLiteral("上传：待上传 %1 张").arg(status.pendingCards);
    case ResultsUploadStatus::State::Unreachable:
        return QStringLiteral("上传：服务器不可达（自 %1）")
            .arg(status.unreachableSince.toString(QStringLiteral("HH:mm:ss")));
    }
    return QString();
}

CResultsForwarder::CResultsForwarder(QString resultsFolder, ResultsServerAddress address)
    : m_folder(std::move(resultsFolder))
    , m_address(std::move(address))
    , m_timer(this)
    , m_uploadLock(m_folder, CStationLock::Claim::Upload)
    , m_exitAfterCommit(!qEnvironmentVariableIsEmpty(kExitAfterCommitVariable))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CResultsForwarder::run);
}

// Destroyed on its own thread, where both connections were opened.
CResultsForwarder::~CResultsForwarder() = default;

void CResultsForwarder::start()
{
    run();
}

bool CResultsForwarder::claimUpload(int waitMs, QString *holder)
{
    if (m_uploadLock.tryLock(waitMs))
        return true;
    *holder = m_uploadLock.error();
    return false;
}

ResultsUploadStatus CResultsForwarder::sendBacklog()
{
    m_retryMs = 0;
    send(QDeadlineTimer(QDeadlineTimer::Forever));
    if (m_store && m_store->isOpen())
        m_status.pendingCards = std::max<qint64>(CResultsOutbox(*m_store).unsentCards(), 0);
    return m_status;
}

void CResultsForwarder::finish(qint64 deadlineMs)
{
    m_timer.stop();
    // Even while waiting to try again: the backlog would otherwise wait for the next start. A
    // refusal would only be refused again.
    const QDeadlineTimer deadline(deadlineMs);
    while (m_lastFailure != CResultsServer::Failure::Refused && !deadline.hasExpired()) {
        m_retryMs = 0;
        if (send(deadline) || m_retryMs != 0)
            break;
    }
    // The count that stays behind, for the owner's last word.
    if (m_store && m_store->isOpen()) {
        const qint64 unsent = CResultsOutbox(*m_store).unsentCards();
        if (unsent >= 0) {
            m_status.pendingCards = unsent;
            if (m_status.state == ResultsUploadStatus::State::Synced && unsent > 0)
                m_status.state = ResultsUploadStatus::State::Pending;
        }
    }
    emit statusChanged(m_status);
    QThread::currentThread()->quit();
}

void CResultsForwarder::run()
{
    const bool retrying = m_retryMs != 0;
    if (retrying && !m_sinceFailure.hasExpired(m_retryMs)) {
        m_timer.start(int(m_retryMs - m_sinceFailure.elapsed()));
        return;
    }
    const bool synced = send(QDeadlineTimer(kSliceMs));
    if (m_retryMs != 0)
        m_timer.start(m_retryMs);
    else
        m_timer.start(synced ? kPollMs : 0);
}

bool CResultsForwarder::openStore()
{
    if (m_store && m_store->isOpen())
        return true;
    m_store = std::make_unique<CResultsStore>();
    if (m_store->open(m_folder))
        return true;
    failed(CResultsServer::Failure::Unreachable, m_store->error());
    return false;
}

bool CResultsForwarder::send(const QDeadlineTimer &slice)
{
    if (!openStore())
        return false;
    CResultsOutbox outbox(*m_store);
    if (!m_server || !m_server->isOpen()) {
        // The count while connecting, for LabelUpload's first word after a start.
        const qint64 unsent = outbox.unsentCards();
        if (unsent > 0 && m_status.state != ResultsUploadStatus::State::Unreachable)
            report(ResultsUploadStatus::State::Pending, unsent);
        m_server = std::make_unique<CResultsServer>();
        if (!m_server->open(m_address)) {
            failed(m_server->failure(), m_server->error());
            return false;
        }
        m_loginRead.start();
    } else if (m_status.heldBackRuns > 0 && m_loginRead.hasExpired(kLoginRecheckMs)) {
        m_loginRead.start();
        if (!m_server->readLogin()) {
            failed(m_server->failure(), m_server->error());
            return false;
        }
    }
    // The server takes runs only in its login's name; the others wait, and say so below.
    const QString login = m_server->login();
    // A lock claimed for the whole forwarding stays; one taken for this pass goes back after it.
    struct GiveBack
    {
        CStationLock &lock;
        bool claimed;
        ~GiveBack()
        {
            if (!claimed)
                lock.unlock();
        }
    } giveBack {m_uploadLock, m_uploadLock.isLocked()};
    if (!m_refusedRuns.isEmpty() && m_sinceRefusal.hasExpired(kLastRetryMs))
        m_refusedRuns.clear();
    m_oneRunAtATime = false;
    for (;;) {
        const std::optional<CResultsOutbox::Batch> batch
            = outbox.next(kBatchCards, login, m_refusedRuns, m_oneRunAtATime);
        if (!batch) {
            failed(CResultsServer::Failure::Unreachable, outbox.error());
            return false;
        }
        if (batch->isEmpty())
            break;
        // Another process forwards: it sends these too, or this one does at its next poll.
        if (!m_uploadLock.tryLock()) {
            report(ResultsUploadStatus::State::Pending, std::max<qint64>(outbox.unsentCards(), 0));
            return true;
        }
        if (!m_server->insertBatch(batch->runs, batch->events, batch->cards)) {
            if (m_server->failure() != CResultsServer::Failure::Refused) {
                failed(m_server->failure(), m_server->error());
                return false;
            }
            // A refusal of the rows holds back only the run they belong to.
            if (batch->marks.size() > 1)
                m_oneRunAtATime = true;
            else
                refuse(batch->marks.constFirst().runId);
            // The refusal ended the session's transaction and its connection.
            if (!m_server->open(m_address)) {
                failed(m_server->failure(), m_server->error());
                return false;
            }
            continue;
        }
        if (m_exitAfterCommit && batch->cardCount > 0)
            ::_exit(kHookExitStatus);
        if (!outbox.markSent(*batch)) {
            // The server has the batch; sending it again is harmless, losing the mark is not.
            failed(CResultsServer::Failure::Unreachable, outbox.error());
            return false;
        }
        m_status.forwardedCards += batch->cardCount;
        recovered();
        if (slice.hasExpired()) {
            const qint64 unsent = outbox.unsentCards();
            report(ResultsUploadStatus::State::Pending, std::max<qint64>(unsent, 0));
            return unsent == 0;
        }
    }
    const std::optional<QVector<CResultsOutbox::HeldBack>> held = outbox.heldBack(login);
    if (!held) {
        failed(CResultsServer::Failure::Unreachable, outbox.error());
        return false;
    }
    recovered();
    holdBack(*held);
    const int refused = int(m_refusedRuns.size());
    const bool refusalsChanged = std::exchange(m_status.refusedRuns, refused) != refused;
    bool reported = false;
    if (refused > 0) {
        if (m_status.lastError.isEmpty())
            m_status.lastError = m_refusalText;
        reported = report(
            ResultsUploadStatus::State::Pending, std::max<qint64>(outbox.unsentCards(), 0));
    } else if (held->isEmpty()) {
        reported = report(ResultsUploadStatus::State::Synced, 0);
    }
    if (refusalsChanged && !reported)
        emit statusChanged(m_status);
    return true;
}

void CResultsForwarder::refuse(const QString &runId)
{
    // Said once for each run and reason, not at each offer.
    const QString why = m_server->error();
    m_refusalText = QStringLiteral("运行 %1 被拒收：%2；该运行的记录留在本机，其余运行照常上传")
                        .arg(runId, why);
    if (!m_refusalsSaid.contains(runId + why)) {
        m_refusalsSaid.insert(runId + why);
        emit line(m_refusalText);
    }
    m_refusedRuns.insert(runId);
    m_sinceRefusal.start();
}

void CResultsForwarder::holdBack(const QVector<CResultsOutbox::HeldBack> &held)
{
    int runs = 0;
    QStringList names;
    for (const CResultsOutbox::HeldBack &name : held) {
        runs += name.runs;
        names << QStringLiteral("“%1”").arg(name.station);
    }
    const QString login = m_server->login();
    const QString text = held.isEmpty()
        ? QString()
        : QStringLiteral("工位名%1不是结果服务器的登录名“%2”：以该名写下的 %3 次运行暂不上传，"
                         "记录留在本机。请管理员建立与工位同名的登录（CREATE ROLE %4 LOGIN "
                         "PASSWORD '…' IN ROLE burnin_station，再把 [results] server 的 user "
                         "改为 %6），或把登录改名（ALTER ROLE %5 RENAME TO %4）")
              .arg(names.join(QStringLiteral("、")), login, QString::number(runs),
                  roleName(held.constFirst().station), roleName(login), held.constFirst().station);
    if (text != m_heldBackText && !text.isEmpty())
        emit line(text);
    m_status.lastError = text;
    if (text == m_heldBackText && runs == m_status.heldBackRuns)
        return;
    m_heldBackText = text;
    m_status.heldBackRuns = runs;
    const qint64 unsent = runs > 0 ? CResultsOutbox(*m_store).unsentCards() : 0;
    m_status.state = runs > 0 ? ResultsUploadStatus::State::Pending : m_status.state;
    m_status.pendingCards = std::max<qint64>(unsent, 0);
    emit statusChanged(m_status);
}

void CResultsForwarder::recovered()
{
    if (!m_unreachableSince.isNull())
        emit line(QStringLiteral("结果服务器 %1 已恢复，继续上传").arg(m_address.shown));
    m_retryMs = 0;
    m_lastFailure = CResultsServer::Failure::None;
    m_unreachableSince = QDateTime();
    m_lastProblem.clear();
    m_status.lastError.clear();
}

void CResultsForwarder::failed(CResultsServer::Failure failure, const QString &why)
{
    m_lastFailure = failure;
    if (m_unreachableSince.isNull())
        m_unreachableSince = QDateTime::currentDateTime();
    m_retryMs = failure == CResultsServer::Failure::Refused
        ? kLastRetryMs
        : std::clamp(m_retryMs * 2, kFirstRetryMs, kLastRetryMs);
    m_sinceFailure.start();
    // One line for each new reason, not one for every attempt.
    if (why != m_lastProblem) {
        m_lastProblem = why;
        emit line(QStringLiteral("上传暂停：%1；记录留在本机，稍后再试").arg(why));
    }
    m_status.unreachableSince = m_unreachableSince;
    m_status.lastError = why;
    report(ResultsUploadStatus::State::Unreachable, m_status.pendingCards);
}

bool CResultsForwarder::report(ResultsUploadStatus::State state, qint64 pending)
{
    if (state != ResultsUploadStatus::State::Unreachable)
        m_status.unreachableSince = QDateTime();
    if (state == m_status.state && pending == m_status.pendingCards)
        return false;
    m_status.state = state;
    m_status.pendingCards = pending;
    emit statusChanged(m_status);
    return true;
}

CResultsUpload::CResultsUpload(QString resultsFolder, QString serverText, QObject *parent)
    : QObject(parent)
    , m_folder(std::move(resultsFolder))
    , m_serverText(std::move(serverText))
{
    qRegisterMetaType<ResultsUploadStatus>();
}

CResultsUpload::~CResultsUpload()
{
    finish(0);
}

void CResultsUpload::start()
{
    if (m_thread || m_serverText.trimmed().isEmpty())
        return;
    QString error;
    const std::optional<ResultsServerAddress> address = parseResultsServer(m_serverText, &error);
    if (!address) {
        emit line(QStringLiteral("上传未启用：") + error);
        return;
    }
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("results upload"));
    auto *forwarder = new CResultsForwarder(m_folder, *address);
    m_forwarder = forwarder;
    forwarder->moveToThread(m_thread);
    connect(m_thread, &QThread::started, forwarder, &CResultsForwarder::start);
    // Deleted on its thread as the thread ends, closing its connections there.
    connect(m_thread, &QThread::finished, forwarder, &QObject::deleteLater);
    connect(forwarder, &CResultsForwarder::statusChanged, this,
        [this](const ResultsUploadStatus &status) {
            m_status = status;
            emit statusChanged(status);
        });
    connect(forwarder, &CResultsForwarder::line, this, &CResultsUpload::line);
    m_status.state = ResultsUploadStatus::State::Pending;
    m_status.pendingCards = -1;
    m_thread->start();
}

void CResultsUpload::finish(int ms)
{
    if (!m_thread)
        return;
    QThread *thread = std::exchange(m_thread, nullptr);
    CResultsForwarder *forwarder = std::exchange(m_forwarder, nullptr);
    QMetaObject::invokeMethod(
        forwarder, [forwarder, ms] { forwarder->finish(ms); }, Qt::QueuedConnection);
    if (thread->wait(ms + kStopMarginMs)) {
        delete thread;
        // Its last status is queued to this thread, which was waiting.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        return;
    }
    // A QThread is never destroyed while it runs: this one is left to end on its own.
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    emit line(QStringLiteral("上传未能及时结束，未发送的记录留在本机，下次启动时上传"));
}
