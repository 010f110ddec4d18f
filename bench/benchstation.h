// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"

#include <QDateTime>
#include <QString>

// A station's records made up for the benchmarks: cards as a run of about a second a card writes
// them, one in 97 failed, and runs of them as the tool's CSV files, which CResultsStore imports
// far faster than a run writes them card by card.
namespace BenchStation {

BurnInRecord card(int index, const QDateTime &runStart);
// A capture-mode run of cards, 1 to cards, started at start, as burnin-*.csv in folder.
bool writeCsvRun(const QString &folder, const QDateTime &start, int cards);

} // namespace BenchStation
