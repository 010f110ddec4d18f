// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"
#include "engine/records/testplan.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

class QSqlDatabase;

// The results database's tables as other programs read them: the names here never change, and a
// later version only adds tables and columns. Internal to the store and the upload.
namespace ResultsSchema {

// PRAGMA user_version of a file that migrate() has brought up to date.
constexpr int kVersion = 6;

// Stable ASCII keys, where the operator's names (burnInStepName) may change with the page.
QString stepKey(BurnInStep step); // "open", "read_chip"…
std::optional<BurnInStep> stepFromKey(const QString &key);
QString stepColumn(BurnInStep step); // "step_open_ms"…
QString modeKey(BurnInMode mode); // "capture" or "handout"
std::optional<BurnInMode> modeFromKey(const QString &key);

// Each table's columns as every reader and the forwarder list them, run_id left out: a run's plan
// (runs), an event (run_events), and a card (cards) with its step times in step order.
QStringList planColumns();
// A test plan as its five plan columns hold it, in their order: the key (Qualification::planKey),
// theta1, d and the two risks. The bound keeps no inputs (all 0), nor a named plan its risks.
QVariantList testPlanValues(const Qualification::TestPlan &plan);
// The plan those columns hold. A file may be old, edited or a later version's, and a run must
// never be judged by other rules than it was run by: the bound's key reads as the bound, any
// other key with its inputs as stored, one that this version does not know as a named plan of
// that name. Inputs out of range, or an unknown name, then give planLines() that are not valid,
// and the run is judged 未判定 rather than by the bound.
Qualification::TestPlan testPlanFrom(const QString &key, qint64 mcbfLower, double discrimination,
    int producerRisk, int consumerRisk);
QStringList eventColumns();
QStringList cardColumns();

// Brings the database from its version to kVersion, one transaction per version step, so that a
// file is always at one version or the next, never between. A file of version 0 is new only
// when it holds nothing: one with tables of its own belongs to another program and is refused,
// as is a file of a newer version than this program knows. On failure *error says why, naming
// the file, and the file is as it was before the failed step.
bool migrate(QSqlDatabase &db, QString *error);

} // namespace ResultsSchema
