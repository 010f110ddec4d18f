// SPDX-License-Identifier: MIT
#include "gui/shell/clogqueue.h"

#include <algorithm>

bool CLogQueue::push(const QString &line)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back(line);
    if (m_consumerAwake)
        return false;
    m_consumerAwake = true;
    return true;
}

bool CLogQueue::pushIfWaiting(const QString &line)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_lines.empty())
        return false;
    m_lines.push_back(line);
    return true;
}

QStringList CLogQueue::take(int maxLines)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    QStringList lines;
    const auto count = std::min<std::size_t>(m_lines.size(), std::size_t(std::max(maxLines, 1)));
    lines.reserve(qsizetype(count));
    for (std::size_t i = 0; i < count; ++i) {
        lines.append(std::move(m_lines.front()));
        m_lines.pop_front();
    }
    if (lines.isEmpty())
        m_consumerAwake = false;
    return lines;
}
