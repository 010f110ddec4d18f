// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QMap>
#include <QString>

// Follows the card page's lines as the log pane shows them, job after job (open, close and the
// three tests) in the order the buttons asked for them, and stops at the first line that the test
// in turn could not have written there: a step out of order, a run that goes on after a failure,
// lines of two tests mixed up, or a line with no test to write it.
class TestLineChecker
{
public:
    enum class Test { IssueOne, CaptureOne, IssueTen, Open, Close };

    void submit(Test test);
    // False, and error() tells why, when the line cannot come next.
    bool feed(const QString &line);

    int submitted() const { return m_tests.size(); }
    // Tests that wrote one of their ending lines, and of those the ones that completed.
    int ended() const { return m_ended; }
    int completed() const { return m_ends.value(QStringLiteral("completed")); }
    // How many tests ended with each kind of ending line.
    QMap<QString, int> ends() const { return m_ends; }
    // A test wrote lines and has not ended.
    bool midTest() const { return m_state != State::Idle; }
    // An issue run handed a card out and has cards left, so it waits for the customer next.
    bool betweenCards() const;
    QString error() const { return m_error; }

private:
    enum class State {
        Idle,
        Header,
        CardStart,
        LeftCardEjected,
        BoxEmpty,
        Move,
        PowerOn,
        ReadChip,
        CardNumber,
        PowerOff,
        HandOut,
        TakeCard,
        IssueDone,
        CaptureStart,
        Insert,
        Capture,
        CaptureDone,
        OpenLine,
        CloseLine,
    };

    static State firstState(Test test);
    bool step(const QString &line);
    bool issueStep(const QString &line);
    bool captureStep(const QString &line);
    // Moves on when the step succeeded, else ends the test there.
    bool next(int code, State onSuccess, const QString &failure);
    bool end(const QString &how);
    bool fail(const QString &why);

    QList<Test> m_tests;
    int m_current = 0;
    State m_state = State::Idle;
    int m_cardsIssued = 0;
    int m_ended = 0;
    QMap<QString, int> m_ends;
    QString m_error;
};
