// SPDX-License-Identifier: MIT
#pragma once

#include "engine/store/cresultsstore.h"

#include <QString>

// The history list's line for a run of the station database, e.g. "2026-12-08 10:25:32  kiosk7
// SN-0001  回收  120/500 张  通过率 98.3%  用时 00:02:05  未完成  不合格": when its first card
// started (or the run was created), station, the unit's serial when it has one, mode, cards done
// of planned, pass rate (rounded down, "—" without cards), first card's start to last activity,
// state, and the verdict when the run has limits and a stretch of it has ended.
QString burnInHistoryLabel(const ResultsRunSummary &run);
