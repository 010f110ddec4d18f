// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP (unless it was ignored at start, as nohup does) into a Qt
// signal on the thread that made it: the handler only writes the signal's number into a pipe,
// the one async-signal-safe way out of it, and a socket notifier reads it in the event loop. One
// per process; the default actions come back when it goes.
class CStopSignals : public QObject
{
    Q_OBJECT

public:
    explicit CStopSignals(QObject *parent = nullptr);
    ~CStopSignals() override;

    bool isValid() const { return m_notifier != nullptr; }

signals:
    void received(int signal);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr; // a child
};
