// SPDX-License-Identifier: MIT
#pragma once

#include "engine/store/cresultsstore.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <optional>

class CResultsServer;

// The fleet view's reads of the shared results server: every station's runs as the history lists
// them, and each model's cards pooled over all of its units. Plain functions, called on the
// thread that opened the server's connection (the history's); a read that fails returns
// std::nullopt, and the server's error() says why.
namespace ResultsFleet {

// An unended run whose last card or event is older than this is taken for 中断: the server cannot
// ask the station, and a station that runs forwards its cards within seconds.
constexpr int kQuietMinutes = 10;

// One model's cards through any of its units.
struct ModelFigures
{
    QString model;
    int units = 0; // distinct serials; a run without a serial names no unit
    int runs = 0;
    qint64 cycles = 0; // T: every card recorded, of finished runs or not
    qint64 failures = 0; // r: device failures among them (Qualification::classify)
};

// Which runs of the fleet to list; each text is found anywhere in its field, whatever the case,
// and an empty one, like a null date, keeps every run.
struct FleetFilter
{
    QString model;
    QString station;
    QString serial;
    QDate from; // the runs created on this day (UTC) or later
    QDate to; // the runs created on this day or earlier
    // The verdict the station last recorded; Undecided includes the runs not judged yet.
    std::optional<Qualification::Verdict> verdict;

    bool operator==(const FleetFilter &other) const
    {
        return model == other.model && station == other.station && serial == other.serial
            && from == other.from && to == other.to && verdict == other.verdict;
    }
};

// One page of the fleet's runs, newest first, and how many match in all.
struct FleetPage
{
    FleetFilter filter; // that chose them
    QVector<ResultsRunSummary> runs;
    int offset = 0;
    int total = 0;
};

// A unit's run, on whichever station it ran.
struct UnitRun
{
    QString runId;
    QString station;
    QString model;
    QDateTime createdAt;
    int confidence = 90;
    qint64 cards = 0;
    qint64 failures = 0; // as Qualification::classify counts them
    std::optional<Qualification::Verdict> verdict;
    bool ended = false;
};

struct UnitHistory
{
    QString serial;
    QVector<UnitRun> runs; // in the order they were created
    qint64 cycles = 0; // the unit's cards over all of its runs
};

// One failure mode of a model: a step and its code, or the driver's outcome (code 0).
struct FailureMode
{
    QString step; // the step's name as the page shows it
    int code = 0;
    QString outcome; // the outcome's name: 返回码, or the driver's hang or crash
    qint64 failures = 0;
    double share = 0; // of the model's failures in the period, 0 to 1
    double cumulativeShare = 0; // of this mode and the worse ones
};

// The history's filter, in both scopes: the serial, the model or the station contains the text,
// whatever the case; an empty text keeps every run.
bool matches(const ResultsRunPlan &plan, const QString &filter);

// Every station's runs, newest first; the page filters them as it filters its own. A run that has
// not ended is 进行中 while its last card or event is less than kQuietMinutes older than now, else
// 中断.
std::optional<QVector<ResultsRunSummary>> runs(
    CResultsServer &server, const QDateTime &now = QDateTime::currentDateTimeUtc());
// The page of at most limit runs from offset that match the filter, with their count in all,
// read and filtered on the server.
std::optional<FleetPage> runs(CResultsServer &server, const FleetFilter &filter, int offset,
    int limit, const QDateTime &now = QDateTime::currentDateTimeUtc());
// Every run of the serial on every station (the unit_history view).
std::optional<UnitHistory> unitHistory(CResultsServer &server, const QString &serial);
// The model's failure modes in [from, to] (UTC days; null leaves that end open), worst first.
std::optional<QVector<FailureMode>> failureModes(
    CResultsServer &server, const QString &model, const QDate &from, const QDate &to);
// Every model that runs name, by name (the model_mcbf view).
std::optional<QVector<ModelFigures>> models(CResultsServer &server);

// "型号 X  U 台  N 次运行  累计 T 次  故障 r 次  演示 MCBF M 次（C%）", the demonstrated MCBF from
// the pooled T and r at confidence (percent).
QString modelLine(const ModelFigures &model, int confidence);

} // namespace ResultsFleet
