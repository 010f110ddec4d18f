// SPDX-License-Identifier: MIT
#include "engine/burnin/burninoptions.h"

#include "engine/settings/comsettings.h"
#include "engine/settings/rwini.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringList>
#include <QSysInfo>

#include <algorithm>
#include <iterator>

namespace {

const char kGroup[] = "burnin";
const char kCardsKey[] = "cards";
const char kModeKey[] = "mode";
const char kHangGraceKey[] = "hang_grace";
const char kStopOnFailureKey[] = "stopOnFailure";
const char kModelKey[] = "model";
const char kOperatorKey[] = "operator";
const char kTargetKey[] = "targetMcbf";
const char kConfidenceKey[] = "confidence";
const char kMaxP95Key[] = "maxP95";
const char kEarlyFailKey[] = "earlyFail";
const char kPlanKey[] = "plan";
const char kMcbfLowerKey[] = "mcbfLower";
const char kDiscriminationKey[] = "discrimination";
const char kProducerRiskKey[] = "producerRisk";
const char kConsumerRiskKey[] = "consumerRisk";
const char kConnectionKey[] = "connection";
const char kFixedConnection[] = "fixed";
const char kSettingsConnection[] = "settings";
const char kCaptureMode[] = "capture";
const char kHandOutMode[] = "handout";

const char kResultsFolder[] = "results";
const char kResultsGroup[] = "results";
const char kStationKey[] = "station";
const char kServerKey[] = "server";

// A whole decimal number: no sign, no spaces, no exponent, no digit grouping, so that "1e5" or
// "10,000" is refused rather than read as something else.
bool parseWhole(const QString &text, qint64 min, qint64 max, qint64 *value)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,12}$"));
    if (!digits.match(text).hasMatch())
        return false;
    const qint64 number = text.toLongLong();
    if (number < min || number > max)
        return false;
    *value = number;
    return true;
}

bool refuse(QString *error, const QString &what, const QString &text)
{
    *error = QStringLiteral("%1：%2").arg(what, text);
    return false;
}

QString cardsRule()
{
    return QStringLiteral("张数须为 %1 到 %2 之间的整数")
        .arg(BurnInConfig::kMinCards)
        .arg(BurnInConfig::kMaxCards);
}

QString targetRule()
{
    return QStringLiteral("目标 MCBF 须为 0 到 %1 之间的整数").arg(BurnInConfig::kMaxTargetMcbf);
}

QString confidenceRule()
{
    return QStringLiteral("置信度须为 80、90 或 95");
}

QString p95Rule()
{
    return QStringLiteral("P95 限值须为 0 到 %1 秒，至多 %2 位小数")
        .arg(BurnInConfig::kMaxP95Seconds)
        .arg(BurnInConfig::kP95Decimals);
}

QString planRule()
{
    QStringList names;
    for (const Qualification::NamedPlan &plan : Qualification::namedPlans())
        names << QLatin1String(plan.name);
    return QStringLiteral("判定方式须为 bound、sequential、fixed 或 %1")
        .arg(names.join(QStringLiteral("、")));
}

QString mcbfLowerRule()
{
    return QStringLiteral("θ1 须为 %1 到 %2 之间的整数")
        .arg(Qualification::kMinMcbfLower)
        .arg(Qualification::kMaxMcbfLower);
}

QString discriminationText(double discrimination)
{
    return QString::number(discrimination, 'g', 3);
}

QString riskRule()
{
    return QStringLiteral("风险须为 %1 到 %2 之间的整数（%）")
        .arg(Qualification::kMinRisk)
        .arg(Qualification::kMaxRisk);
}

QString loadText(const QString &file, const char *key)
{
    return RWIni::load(file, kGroup, key, QString());
}

void saveIfChanged(const QString &file, const char *key, const QString &value, bool &saved)
{
    if (RWIni::load(file, kGroup, key, QString()) != value)
        saved = RWIni::save(file, kGroup, key, value) && saved;
}

QString p95Text(double seconds)
{
    return QString::number(seconds, 'f', BurnInConfig::kP95Decimals);
}

} // namespace

namespace BurnInConfig {

bool parseCards(const QString &text, int *cards, QString *error)
{
    qint64 value = 0;
    if (!parseWhole(text, kMinCards, kMaxCards, &value))
        return refuse(error, cardsRule(), text);
    *cards = int(value);
    return true;
}

bool parseMode(const QString &text, BurnInMode *mode, QString *error)
{
    if (text == QLatin1String(kCaptureMode))
        *mode = BurnInMode::Capture;
    else if (text == QLatin1String(kHandOutMode))
        *mode = BurnInMode::HandOut;
    else
        return refuse(error, QStringLiteral("模式须为 capture 或 handout"), text);
    return true;
}

bool parseConnection(const QString &text, bool *settings, QString *error)
{
    if (text == QLatin1String(kFixedConnection))
        *settings = false;
    else if (text == QLatin1String(kSettingsConnection))
        *settings = true;
    else
        return refuse(error, QStringLiteral("连接须为 fixed 或 settings"), text);
    return true;
}

bool parseTargetMcbf(const QString &text, qint64 *target, QString *error)
{
    if (!parseWhole(text, 0, kMaxTargetMcbf, target))
        return refuse(error, targetRule(), text);
    return true;
}

bool parseConfidence(const QString &text, int *confidence, QString *error)
{
    qint64 value = 0;
    if (!parseWhole(text, 0, 100, &value)
        || std::find(std::begin(kConfidences), std::end(kConfidences), int(value))
            == std::end(kConfidences))
        return refuse(error, confidenceRule(), text);
    *confidence = int(value);
    return true;
}

// At most as many decimals as the page's spin box shows, so that the limit judged is the one
// the person typed, not a rounding of it.
bool parseMaxP95(const QString &text, double *seconds, QString *error)
{
    static const QRegularExpression number(
        QStringLiteral("^[0-9]{1,3}(\\.[0-9]{1,%1})?$").arg(kP95Decimals));
    if (!number.match(text).hasMatch())
        return refuse(error, p95Rule(), text);
    const double value = text.toDouble();
    if (value > kMaxP95Seconds)
        return refuse(error, p95Rule(), text);
    *seconds = value;
    return true;
}

QString hangGraceRule()
{
    return QStringLiteral("宽限须为 %1 到 %2 秒，至多 3 位小数")
        .arg(double(BurnInConfig::kMinHangGrace.count()) / 1000.0)
        .arg(double(BurnInConfig::kMaxHangGrace.count()) / 1000.0);
}

// Whole milliseconds, so that the deadline recorded is the one given.
bool parseHangGrace(const QString &text, std::chrono::milliseconds *grace, QString *error)
{
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,3}(\\.[0-9]{1,3})?$"));
    if (!number.match(text).hasMatch())
        return refuse(error, hangGraceRule(), text);
    const std::chrono::milliseconds value {qRound64(text.toDouble() * 1000.0)};
    if (value < kMinHangGrace || value > kMaxHangGrace)
        return refuse(error, hangGraceRule(), text);
    *grace = value;
    return true;
}

bool parsePlan(const QString &text, Qualification::TestPlan *plan, QString *error)
{
    using Qualification::PlanKind;
    if (text == QLatin1String("bound") || text == QLatin1String("sequential")
        || text == QLatin1String("fixed")) {
        plan->kind = text == QLatin1String("bound") ? PlanKind::Bound
            : text == QLatin1String("sequential")   ? PlanKind::Sequential
                                                    : PlanKind::Fixed;
        plan->name.clear();
        return true;
    }
    const std::optional<Qualification::NamedPlan> named = Qualification::namedPlan(text);
    if (!named)
        return refuse(error, planRule(), text);
    plan->kind = PlanKind::Named;
    plan->name = text;
    plan->discrimination = named->discrimination;
    return true;
}

bool parseMcbfLower(const QString &text, qint64 *cycles, QString *error)
{
    if (!parseWhole(text, Qualification::kMinMcbfLower, Qualification::kMaxMcbfLower, cycles))
        return refuse(error, mcbfLowerRule(), text);
    return true;
}

bool parseDiscrimination(const QString &text, double *discrimination, QString *error)
{
    const double *const found = std::find_if(std::begin(Qualification::kDiscriminations),
        std::end(Qualification::kDiscriminations),
        [&text](double allowed) { return text == discriminationText(allowed); });
    if (found == std::end(Qualification::kDiscriminations))
        return refuse(error, QStringLiteral("鉴别比须为 1.5、2 或 3"), text);
    *discrimination = *found;
    return true;
}

bool parseRisk(const QString &text, int *percent, QString *error)
{
    qint64 value = 0;
    if (!parseWhole(text, Qualification::kMinRisk, Qualification::kMaxRisk, &value))
        return refuse(error, riskRule(), text);
    *percent = int(value);
    return true;
}

QString modeKey(BurnInMode mode)
{
    return QLatin1String(mode == BurnInMode::HandOut ? kHandOutMode : kCaptureMode);
}

namespace {

// A plan whose inputs the file does not give whole is not taken: the run is judged by the bound.
void loadPlan(const QString &configFile, Qualification::TestPlan *plan)
{
    QString ignored;
    Qualification::TestPlan loaded;
    parseMcbfLower(loadText(configFile, kMcbfLowerKey), &loaded.mcbfLower, &ignored);
    parseDiscrimination(loadText(configFile, kDiscriminationKey), &loaded.discrimination, &ignored);
    parseRisk(loadText(configFile, kProducerRiskKey), &loaded.producerRisk, &ignored);
    parseRisk(loadText(configFile, kConsumerRiskKey), &loaded.consumerRisk, &ignored);
    if (!parsePlan(loadText(configFile, kPlanKey), &loaded, &ignored)
        || loaded.mcbfLower < Qualification::kMinMcbfLower) {
        loaded.kind = Qualification::PlanKind::Bound;
        loaded.name.clear();
    }
    *plan = loaded;
}

} // namespace

BurnInOptions load(const QString &configFile)
{
    BurnInOptions options;
    QString ignored;
    if (!parseCards(loadText(configFile, kCardsKey), &options.settings.cards, &ignored))
        options.settings.cards = kDefaultCards;
    parseMode(loadText(configFile, kModeKey), &options.settings.mode, &ignored);
    options.settings.stopOnFailure = RWIni::load(configFile, kGroup, kStopOnFailureKey, 0) != 0;
    // The file may have been edited by hand: a text a person could not have typed is not taken.
    const auto text = [&configFile](const char *key) {
        const BurnInInput::Checked checked
            = BurnInInput::checkText(QString(), loadText(configFile, key));
        return checked.error.isEmpty() ? checked.text : QString();
    };
    options.unit.model = text(kModelKey);
    options.unit.operatorName = text(kOperatorKey);
    parseTargetMcbf(loadText(configFile, kTargetKey), &options.limits.targetMcbf, &ignored);
    parseConfidence(loadText(configFile, kConfidenceKey), &options.limits.confidence, &ignored);
    parseMaxP95(loadText(configFile, kMaxP95Key), &options.limits.maxP95Seconds, &ignored);
    options.limits.earlyFail = RWIni::load(configFile, kGroup, kEarlyFailKey, 0) != 0;
    loadPlan(configFile, &options.limits.test);
    parseHangGrace(loadText(configFile, kHangGraceKey), &options.settings.hangGrace, &ignored);
    parseConnection(loadText(configFile, kConnectionKey), &options.settingsConnection, &ignored);
    if (options.settingsConnection)
        options.settings.connection = deviceConnection(loadComSettings(configFile));
    return options;
}

bool save(const BurnInOptions &options, const QString &configFile)
{
    bool saved = true;
    saveIfChanged(configFile, kCardsKey, QString::number(options.settings.cards), saved);
    saveIfChanged(configFile, kModeKey, modeKey(options.settings.mode), saved);
    saveIfChanged(configFile, kStopOnFailureKey,
        QLatin1String(options.settings.stopOnFailure ? "1" : "0"), saved);
    saveIfChanged(configFile, kModelKey, options.unit.model, saved);
    saveIfChanged(configFile, kOperatorKey, options.unit.operatorName, saved);
    saveIfChanged(configFile, kTargetKey, QString::number(options.limits.targetMcbf), saved);
    saveIfChanged(configFile, kConfidenceKey, QString::number(options.limits.confidence), saved);
    saveIfChanged(configFile, kMaxP95Key, p95Text(options.limits.maxP95Seconds), saved);
    saveIfChanged(
        configFile, kEarlyFailKey, QLatin1String(options.limits.earlyFail ? "1" : "0"), saved);
    const Qualification::TestPlan &plan = options.limits.test;
    saveIfChanged(configFile, kPlanKey, Qualification::planKey(plan), saved);
    // A named plan's ratio is its own: the ratio and risks kept are the person's, for the next
    // sequential or fixed plan.
    if (plan.isPlan())
        saveIfChanged(configFile, kMcbfLowerKey, QString::number(plan.mcbfLower), saved);
    if (plan.isPlan() && plan.kind != Qualification::PlanKind::Named) {
        saveIfChanged(
            configFile, kDiscriminationKey, discriminationText(plan.discrimination), saved);
        saveIfChanged(configFile, kProducerRiskKey, QString::number(plan.producerRisk), saved);
        saveIfChanged(configFile, kConsumerRiskKey, QString::number(plan.consumerRisk), saved);
    }
    saveIfChanged(configFile, kConnectionKey,
        QLatin1String(options.settingsConnection ? kSettingsConnection : kFixedConnection), saved);
    return saved;
}

QString station(const QString &configFile)
{
    const QString name = RWIni::load(configFile, kResultsGroup, kStationKey, QString()).trimmed();
    return name.isEmpty() ? QSysInfo::machineHostName() : name;
}

QString resultsServer(const QString &configFile)
{
    return RWIni::load(configFile, kResultsGroup, kServerKey, QString()).trimmed();
}

QString resultsFolder()
{
    return QDir::current().absoluteFilePath(kResultsFolder);
}

QString check(BurnInOptions &options)
{
    QString error;
    int cards = 0;
    if (!parseCards(QString::number(options.settings.cards), &cards, &error))
        return error;
    qint64 target = 0;
    if (!parseTargetMcbf(QString::number(options.limits.targetMcbf), &target, &error))
        return error;
    int confidence = 0;
    if (!parseConfidence(QString::number(options.limits.confidence), &confidence, &error))
        return error;
    double seconds = 0.0;
    if (!parseMaxP95(p95Text(options.limits.maxP95Seconds), &seconds, &error)
        || seconds != options.limits.maxP95Seconds)
        return error.isEmpty() ? p95Rule() : error;
    const Qualification::TestPlan &plan = options.limits.test;
    if (plan.isPlan()) {
        Qualification::TestPlan checked = plan;
        if (!parsePlan(Qualification::planKey(plan), &checked, &error)
            || !parseMcbfLower(QString::number(plan.mcbfLower), &checked.mcbfLower, &error))
            return error;
        if (plan.kind != Qualification::PlanKind::Named
            && (!parseDiscrimination(
                    discriminationText(plan.discrimination), &checked.discrimination, &error)
                || !parseRisk(QString::number(plan.producerRisk), &checked.producerRisk, &error)
                || !parseRisk(QString::number(plan.consumerRisk), &checked.consumerRisk, &error)))
            return error;
        if (checked.discrimination != plan.discrimination || !Qualification::planLines(plan).valid)
            return QStringLiteral("%1：无法计算").arg(Qualification::planText(plan));
    }
    const BurnInInput::CheckedUnit unit
        = BurnInInput::checkUnit(options.unit, options.limits.hasLimit());
    if (!unit.error.isEmpty())
        return unit.error;
    options.unit = unit.unit;
    return QString();
}

} // namespace BurnInConfig
