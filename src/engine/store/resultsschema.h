// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"

#include <QString>
#include <QStringList>

#include <optional>

class QSqlDatabase;

// The results database's tables as other programs read them: the names here never change, and a
// later version only adds tables and columns. Internal to the store and the upload.
namespace ResultsSchema {

// PRAGMA user_version of a file that migrate() has brought up to date.
constexpr int kVersion = 5;

// Stable ASCII keys, where the operator's names (burnInStepName) may change with the page.
QString stepKey(BurnInStep step); // "open", "read_chip"…
std::optional<BurnInStep> stepFromKey(const QString &key);
QString stepColumn(BurnInStep step); // "step_open_ms"…
QString modeKey(BurnInMode mode); // "capture" or "handout"
std::optional<BurnInMode> modeFromKey(const QString &key);

// Each table's columns as every reader and the forwarder list them, run_id left out: a run's plan
// (runs), an event (run_events), and a card (cards) with its step times in step order.
QStringList planColumns();
QStringList eventColumns();
QStringList cardColumns();

// Brings the database from its version to kVersion, one transaction per version step, so that a
// file is always at one version or the next, never between. A file of version 0 is new only
// when it holds nothing: one with tables of its own belongs to another program and is refused,
// as is a file of a newer version than this program knows. On failure *error says why, naming
// the file, and the file is as it was before the failed step.
bool migrate(QSqlDatabase &db, QString *error);

} // namespace ResultsSchema
