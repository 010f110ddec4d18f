// SPDX-License-Identifier: MIT
#include "cli/toolkitmessages.h"

#include <QtGlobal>

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_mutex;
QStringList g_held;
bool g_holding = false;

void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        return;
    }
    const std::lock_guard<std::mutex> lock(g_mutex);
    if (g_holding)
        g_held << qFormatLogMessage(type, context, message);
}

} // namespace

namespace ToolkitMessages {

void hold()
{
    {
        const std::lock_guard<std::mutex> lock(g_mutex);
        g_holding = true;
    }
    qInstallMessageHandler(handle);
}

QStringList release()
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_holding = false;
    QStringList held;
    held.swap(g_held);
    return held;
}

} // namespace ToolkitMessages
