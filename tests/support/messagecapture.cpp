// SPDX-License-Identifier: MIT
#include "messagecapture.h"

#include <QMutexLocker>

namespace {
MessageCapture *s_active = nullptr;
}

MessageCapture::MessageCapture()
{
    s_active = this;
    m_previous = qInstallMessageHandler(&MessageCapture::handler);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(m_previous);
    s_active = nullptr;
}

QStringList MessageCapture::messages() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

void MessageCapture::clear()
{
    QMutexLocker lock(&m_mutex);
    m_messages.clear();
}

void MessageCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtDebugMsg && s_active) {
        QMutexLocker lock(&s_active->m_mutex);
        s_active->m_messages.append(text);
        return;
    }
    if (s_active && s_active->m_previous)
        s_active->m_previous(type, context, text);
}
