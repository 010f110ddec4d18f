// SPDX-License-Identifier: MIT
#pragma once

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

// Records the text of every Qt debug message while it lives (from any thread), and restores
// the previous handler afterwards. One at a time.
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    QStringList messages() const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QtMessageHandler m_previous;
    mutable QMutex m_mutex;
    QStringList m_messages;
};
