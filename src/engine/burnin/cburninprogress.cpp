// SPDX-License-Identifier: MIT
#include "engine/burnin/cburninprogress.h"

CBurnInProgress::Snapshot CBurnInProgress::take()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    Snapshot snapshot = m_snapshot;
    m_snapshot.cards.clear();
    return snapshot;
}

QString CBurnInProgress::csvPath() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_snapshot.csvPath;
}

QString CBurnInProgress::runId() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_snapshot.runId;
}

void CBurnInProgress::begin(const QString &csvPath, const QString &logPath, const QString &runId,
    const Qualification::Plan &limits, int firstCard)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_snapshot.limits = limits;
    m_snapshot.firstCard = firstCard;
    m_snapshot.runId = runId;
    m_snapshot.started = true;
    m_snapshot.csvPath = csvPath;
    m_snapshot.logPath = logPath;
}

void CBurnInProgress::add(const BurnInRecord &card, const BurnInFigures &figures)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_snapshot.cards.append(card);
    m_snapshot.figures = figures;
}

void CBurnInProgress::finish(const Outcome &outcome)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_snapshot.outcome = outcome;
    m_snapshot.finished = true;
}
