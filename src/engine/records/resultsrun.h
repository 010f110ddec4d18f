// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninlimits.h"
#include "engine/records/burninrecord.h"
#include "engine/records/burninunit.h"

#include <QDateTime>
#include <QString>

#include <optional>

// What a run was asked to do, written once when the run is created.
struct ResultsRunPlan
{
    QString station;
    BurnInMode mode = BurnInMode::Capture;
    int cardsPlanned = 0;
    bool stopOnFailure = false;
    QDateTime createdAt; // the current time when left invalid
    // The run's CSV and step log. Kept relative to the results folder when they are in it, so
    // that a copied working folder still finds its files; always absolute when read back.
    QString csvPath;
    QString logPath;
    BurnInUnit unit;
    // What openDevice was given, for people, e.g. "HID，115200" (connectionText()); empty for a
    // run recorded before the connection was.
    QString connection;
    // The limits the run is judged by; its plannedCards is cardsPlanned, see qualification().
    Qualification::Plan limits;

    Qualification::Plan qualification() const;
};

// What happens to a run over its life, each a new row; a later version adds kinds. Each stretch
// of a run that ends writes its verdict, then its end. DeviceLost notes that the dispenser could
// not be opened for a card (reason: which card and the code), mid-run or when a sitting was to
// begin; it says nothing about the run's state, which the other kinds tell.
// DriverHang, DriverCrash: a library call that hung or crashed the driver host, naming the
// function and the deadline or the signal; HostLost: the host ended for the station's reasons, or
// could not be started; HostStart: a new host loaded the library (its path and SHA-256).
enum class ResultsEventKind {
    Start,
    End,
    Continue,
    Verdict,
    DeviceLost,
    DriverHang,
    DriverCrash,
    HostLost,
    HostStart
};
// "start", "end", "continue", "verdict", "device_lost", "driver_hang", "driver_crash",
// "host_lost", "host_start"
QString resultsEventKindKey(ResultsEventKind kind);
std::optional<ResultsEventKind> resultsEventKindFromKey(const QString &key);
// A verdict event's reason: "pass", "fail" or "undecided", the same in every language.
QString resultsVerdictKey(Qualification::Verdict verdict);
std::optional<Qualification::Verdict> resultsVerdictFromKey(const QString &key);

struct ResultsRunEvent
{
    ResultsEventKind kind = ResultsEventKind::Start;
    QString reason; // why the run ended, or the verdict's key; empty for the other kinds
    QDateTime at; // the current time when left invalid
    QString toolVersion;
    QString libraryPath; // the device library the run loaded
    QString librarySha256; // fileSha256(libraryPath)
};

// A run's state as its events and the station lock tell it.
enum class ResultsRunState {
    Running, // started or continued, not ended, and being run right now
    Interrupted, // not ended, and nobody runs it: the process died
    Incomplete, // ended before its planned cards
    Complete, // ended with all its planned cards
};
QString resultsRunStateName(ResultsRunState state); // 进行中, 中断, 未完成, 完成

// One run as the history lists it. Plain data, handed from the history's thread to the GUI's.
struct ResultsRunSummary
{
    QString runId;
    ResultsRunPlan plan;
    int cardsDone = 0;
    int passed = 0;
    QDateTime firstCardStarted; // invalid without cards
    // The last card's end; without cards the last event's time, or the run's creation.
    QDateTime lastActivity;
    std::optional<ResultsEventKind> lastEvent; // none before the first event
    QString lastEventReason;
    // The verdict of the last stretch that ended; none before one did.
    std::optional<Qualification::Verdict> verdict;
    ResultsRunState state = ResultsRunState::Interrupted;
};

// An ended run's state: complete with all its planned cards done, or once its plan has decided
// (a plan's run ends as soon as it accepts or rejects); incomplete otherwise.
ResultsRunState endedRunState(const ResultsRunSummary &run);
