// SPDX-License-Identifier: MIT
#include "messagecapture.h"

#include <QMutexLocker>
#include <QTest>

// QTest::failOnWarning came with Qt 6.3; the kiosks' Qt 5.15 lacks it.
#define CDT_QTEST_FAILS_ON_WARNING (QT_VERSION >= QT_VERSION_CHECK(6, 3, 0))

namespace {
MessageCapture *s_active = nullptr;
WarningFailure *s_activeFailure = nullptr;
} // namespace

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

WarningFailure::WarningFailure(const QRegularExpression &pattern)
    : m_pattern(pattern)
{
#if CDT_QTEST_FAILS_ON_WARNING
    QTest::failOnWarning(pattern);
#else
    Q_ASSERT(!s_activeFailure);
    s_activeFailure = this;
    m_previous = qInstallMessageHandler(&WarningFailure::handler);
#endif
}

WarningFailure::~WarningFailure()
{
    if (s_activeFailure == this) {
        qInstallMessageHandler(m_previous);
        s_activeFailure = nullptr;
    }
}

void WarningFailure::ignoreMessage(const QString &message)
{
    m_expected.append(message);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(message));
}

void WarningFailure::handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    WarningFailure *self = s_activeFailure;
    if (type == QtWarningMsg && self->m_pattern.match(text).hasMatch()
        && !self->m_expected.removeOne(text)) {
        QTest::qFail(
            qPrintable(QStringLiteral("Received a warning that resulted in a failure:\n") + text),
            __FILE__, __LINE__);
    }
    if (self->m_previous)
        self->m_previous(type, context, text);
}
