// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninrun.h"
#include "engine/burnin/qualification.h"
#include "engine/records/burninunit.h"

#include <QString>

// What a new burn-in run is started with, whichever front end starts it: the page's controls or
// the command line's options. Plain data.
struct BurnInOptions
{
    BurnInSettings settings; // cards, mode, stop on failure
    BurnInUnit unit;
    Qualification::Plan limits; // plannedCards is left to the job
    // Open the device on the communication settings' connection rather than the fixed one the
    // card test page uses; settings.connection holds what that gives.
    bool settingsConnection = false;
};

// The defaults both front ends read from config.ini's [burnin] group, the station's name, and
// the checks of every value a person gives, so that the page and the command line accept exactly
// the same runs. Plain functions; the INI file is read and written through RWIni on the caller's
// thread.
namespace BurnInConfig {

constexpr char kConfigFile[] = "config.ini";
constexpr int kMinCards = 1;
constexpr int kMaxCards = 100000;
constexpr int kDefaultCards = 100;
constexpr qint64 kMaxTargetMcbf = 10000000;
constexpr double kMaxP95Seconds = 600.0;
constexpr int kP95Decimals = 3;
constexpr int kConfidences[] = {80, 90, 95};
constexpr std::chrono::milliseconds kMinHangGrace {500};
constexpr std::chrono::milliseconds kMaxHangGrace {600000};

// [burnin] cards, mode (capture|handout), stopOnFailure (0/1), model, operator, targetMcbf,
// confidence, maxP95 (seconds), earlyFail (0/1), plan (bound|sequential|fixed|a named plan),
// mcbfLower, discrimination, producerRisk, consumerRisk (a plan's inputs), connection
// (fixed|settings; with settings the connection is [com]'s as the settings dialog loads it),
// hang_grace (seconds a library call gets past its own timeout; set by hand, never saved). A
// missing key, or a value the checks below refuse, gives the built-in default; the serial is never
// remembered.
BurnInOptions load(const QString &configFile = QLatin1String(kConfigFile));
// Writes the keys whose value differs from the file's, so that starting a run with the same
// settings as the last one writes nothing. False when the file could not be written.
bool save(const BurnInOptions &options, const QString &configFile = QLatin1String(kConfigFile));

// [results] station, else the host's name: the name the station's records carry.
QString station(const QString &configFile = QLatin1String(kConfigFile));
// [results] server: the shared results server's libpq connection string, empty for none.
QString resultsServer(const QString &configFile = QLatin1String(kConfigFile));
// ./results, absolute.
QString resultsFolder();

// Each takes a value as a person typed it and gives it back, or returns false with *error set to
// a line for that person. Whole decimal numbers only; P95 in seconds with at most kP95Decimals
// decimals.
bool parseCards(const QString &text, int *cards, QString *error);
bool parseMode(const QString &text, BurnInMode *mode, QString *error);
bool parseTargetMcbf(const QString &text, qint64 *target, QString *error);
bool parseConfidence(const QString &text, int *confidence, QString *error);
bool parseMaxP95(const QString &text, double *seconds, QString *error);
// kMinHangGrace to kMaxHangGrace, both included, in seconds with at most 3 decimals.
bool parseHangGrace(const QString &text, std::chrono::milliseconds *grace, QString *error);
// capture / handout, as config.ini and the command line write the mode.
QString modeKey(BurnInMode mode);
// How a run is judged: bound, sequential, fixed or a named plan's name (Qualification::namedPlan),
// setting plan->kind, plan->name and a named plan's discrimination.
bool parsePlan(const QString &text, Qualification::TestPlan *plan, QString *error);
// theta1: Qualification::kMinMcbfLower to kMaxMcbfLower cycles.
bool parseMcbfLower(const QString &text, qint64 *cycles, QString *error);
// 1.5, 2 or 3.
bool parseDiscrimination(const QString &text, double *discrimination, QString *error);
// A producer's or consumer's risk: whole percent, Qualification::kMinRisk to kMaxRisk.
bool parseRisk(const QString &text, int *percent, QString *error);
// fixed / settings: whether a run opens the fixed connection or the communication settings'.
bool parseConnection(const QString &text, bool *settings, QString *error);

// The first problem with the options as a whole (ranges, the unit's fields, a serial for a run
// with limits), or an empty string; trims the unit's fields in place.
QString check(BurnInOptions &options);

} // namespace BurnInConfig
