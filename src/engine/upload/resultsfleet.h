// SPDX-License-Identifier: MIT
#pragma once

#include "engine/store/cresultsstore.h"

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

// The history's filter, in both scopes: the serial, the model or the station contains the text,
// whatever the case; an empty text keeps every run.
bool matches(const ResultsRunPlan &plan, const QString &filter);

// Every station's runs, newest first; the page filters them as it filters its own. A run that has
// not ended is 进行中 while its last card or event is less than kQuietMinutes older than now, else
// 中断.
std::optional<QVector<ResultsRunSummary>> runs(
    CResultsServer &server, const QDateTime &now = QDateTime::currentDateTimeUtc());
// Every model that runs name, by name, from one grouped query.
std::optional<QVector<ModelFigures>> models(CResultsServer &server);

// "型号 X  U 台  N 次运行  累计 T 次  故障 r 次  演示 MCBF M 次（C%）", the demonstrated MCBF from
// the pooled T and r at confidence (percent).
QString modelLine(const ModelFigures &model, int confidence);

} // namespace ResultsFleet
