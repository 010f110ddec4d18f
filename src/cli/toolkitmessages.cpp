// SPDX-License-Identifier: MIT
#include "cli/toolkitmessages.h"

#include <QGlobalStatic>
#include <QtGlobal>

#include <cstdio>
#include <mutex>

namespace {

struct Held
{
    std::mutex mutex;
    QStringList messages;
    bool holding = false;
};
// A message may come while the process exits, after this is gone: it is dropped then.
Q_GLOBAL_STATIC(Held, g_held)

void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        return;
    }
    Held *held = g_held();
    if (!held)
        return;
    const std::lock_guard<std::mutex> lock(held->mutex);
    if (held->holding)
        held->messages << qFormatLogMessage(type, context, message);
}

} // namespace

namespace ToolkitMessages {

void hold()
{
    {
        const std::lock_guard<std::mutex> lock(g_held->mutex);
        g_held->holding = true;
    }
    qInstallMessageHandler(handle);
}

QStringList release()
{
    const std::lock_guard<std::mutex> lock(g_held->mutex);
    g_held->holding = false;
    QStringList held;
    held.swap(g_held->messages);
    return held;
}

} // namespace ToolkitMessages
