// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// Follows the lines of the device queue's jobs as the log pane shows them (open, close and the
// three tests of the card page, and burn-in runs) in the order the buttons asked for them, and
// stops at the first line that the job in turn could not have written there: a step out of order,
// a run that goes on after a failure, lines of two jobs mixed up, or a line with no job to write
// it.
// A burn-in run writes its start line, its card lines, a box-empty or card-left line where one
// ended it, its end line with the totals and the record files line; one stopped while still
// queued writes only that it did not begin.
class TestLineChecker
{
public:
    enum class Test { IssueOne, CaptureOne, IssueTen, Open, Close, BurnIn };

    void submit(Test test);
    // False, and error() tells why, when the line cannot come next.
    bool feed(const QString &line);
    // The operator pressed the burn-in page's stop button during the last burn-in asked for.
    void stopBurnIn();

    int submitted() const { return m_tests.size(); }
    // Tests that wrote one of their ending lines, and of those the ones that completed.
    int ended() const { return m_ended; }
    int completed() const { return m_ends.value(QStringLiteral("completed")); }
    // How many tests ended with each kind of ending line.
    QMap<QString, int> ends() const { return m_ends; }
    // A test wrote lines and has not ended.
    bool midTest() const { return m_state != State::Idle; }
    // An issue run handed a card out and has cards left, so it waits for the customer next, and
    // no burn-in run waits for its end line.
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
        BurnInStart,
        BurnInCard,
        BurnInEnd,
        BurnInFiles,
    };

    struct BurnIn
    {
        bool stopRequested = false;
        int cards = 0;
        bool stopOnFailure = false;
        int done = 0;
        int passed = 0;
        int failuresInARow = 0;
        int duplicates = 0;
        bool lastFailed = false;
        QStringList ends; // the reasons its end line may give
        QString end; // the one it gave
    };
    static State firstState(Test test);
    bool step(const QString &line);
    bool issueStep(const QString &line);
    bool captureStep(const QString &line);
    bool burnInStep(const QString &line);
    bool burnInCard(const QString &line);
    void burnInPassedUpTo(int done);
    // The cards are over; the end line is to come, with one of these reasons.
    bool burnInCardsDone(const QStringList &ends);
    bool burnInEnd(const QString &line);
    // Moves on when the step succeeded, else ends the test there.
    bool next(int code, State onSuccess, const QString &failure);
    bool end(const QString &how);
    bool fail(const QString &why);

    QList<Test> m_tests;
    // By their place in m_tests; the page holds one at a time, but its lines may still be due
    // when the next is asked for.
    QMap<int, BurnIn> m_burnIns;
    int m_current = 0;
    State m_state = State::Idle;
    int m_cardsIssued = 0;
    int m_ended = 0;
    QMap<QString, int> m_ends;
    QString m_error;
};
