// SPDX-License-Identifier: MIT
#pragma once

#include <QMutex>
#include <QRegularExpression>
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

// Fails the running test function on each warning whose text matches pattern, from now on, as
// QTest::failOnWarning does from Qt 6.3 (until the test function ends). Before Qt 6.3 a message
// handler of its own stands in until it is destroyed; it sees a warning before QTest does, so
// a warning that the pattern matches is expected through ignoreMessage() here, not through
// QTest's. One at a time, on the test's thread.
class WarningFailure
{
public:
    explicit WarningFailure(const QRegularExpression &pattern);
    ~WarningFailure();
    WarningFailure(const WarningFailure &) = delete;
    WarningFailure &operator=(const WarningFailure &) = delete;

    // QTest::ignoreMessage for one warning, which then fails nothing.
    void ignoreMessage(const QString &message);

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QRegularExpression m_pattern;
    QStringList m_expected;
    QtMessageHandler m_previous = nullptr;
};
