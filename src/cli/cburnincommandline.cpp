// SPDX-License-Identifier: MIT
#include "cli/cburnincommandline.h"

#include "cli/burninexitstatus.h"
#include "engine/settings/comsettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <initializer_list>

namespace {

const char kDescription[]
    = "Runs a burn-in of the card dispenser from the command line: the same runs as the tool's\n"
      "burn-in page, with the same record in results/ (CSV, step log, the station's database\n"
      "and, for a run with a serial, the PDF report). Works in the current folder: it reads\n"
      "config.ini's [burnin] defaults, which the options override, and runs the calls of\n"
      "./lib/libvarnak_c.so in a driver host, card-dispenser-devicehost, a process of its own.\n"
      "A call that has not returned within its own timeout plus --hang-grace has hung: the host\n"
      "is killed, the card fails at that step with \"无响应\" (event driver_hang), and a new host\n"
      "goes on with the next card, which first clears the channel into the bin. A host that\n"
      "crashes in a call fails its card the same way with \"驱动崩溃\" (event driver_crash). Both\n"
      "count in the verdict like any failed card, apart from the device's codes in the failure\n"
      "modes. A host ended from outside, or one that cannot start, is the station's trouble:\n"
      "the card in hand is not recorded and the run ends early, undecided, to be continued.\n"
      "With config.ini's [results] server it forwards the record to the shared results server\n"
      "while it runs (password in ~/.pgpass); what the server cannot take waits in the\n"
      "station's database for the next start. Ctrl-C, SIGTERM or SIGHUP (a dropped SSH\n"
      "session) ends the run after the card in hand, within that call's deadline; a second\n"
      "Ctrl-C or SIGTERM at any time after the first ends it at once, exit status 4: the host\n"
      "is killed, the card in hand is not recorded (--continue runs it again), and the server\n"
      "is not waited for (a SIGHUP never does this). A dispenser that cannot be opened for the\n"
      "first card is the station's trouble, not the unit's: the run does not begin. One lost\n"
      "later ends the run early, undecided, with nothing charged. --report RUN_ID judges any\n"
      "run from its record and writes its PDF.";

// The options that set up a new run, which a continued run takes from its own record instead.
const char *const kRunOptions[] = {"cards", "mode", "stop-on-failure", "serial", "model",
    "operator", "target-mcbf", "confidence", "max-p95", "early-fail", "plan", "mcbf-lower",
    "discrimination", "producer-risk", "consumer-risk"};

// The plan's inputs besides its kind; a named plan takes the first alone.
const char *const kPlanInputs[]
    = {"mcbf-lower", "discrimination", "producer-risk", "consumer-risk"};
// The confidence bound's limits, which a run with a plan is not judged by.
const char *const kBoundLimits[] = {"target-mcbf", "confidence", "max-p95", "early-fail"};

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption help {{"h", "help"}, "Show this help and exit."};
    QCommandLineOption version {{"v", "version"}, "Show the version and exit."};

    Parser()
    {
        parser.setApplicationDescription(QString::fromUtf8(kDescription));
        parser.addOption(help);
        parser.addOption(version);
        parser.addOptions({
            {"cards", "Cards to run, 1 to 100000 (config.ini: cards, else 100).", "N"},
            {"mode",
                "capture: each card into the bin; handout: each card to the front for the "
                "customer (config.ini: mode, else capture).",
                "capture|handout"},
            {"stop-on-failure", "End the run at the first failed card."},
            {"serial",
                "The tested unit's serial; needed with any limit. A run with a serial "
                "gets a PDF report.",
                "S"},
            {"model", "The unit's model (config.ini: model).", "M"},
            {"operator", "Who runs it (config.ini: operator).", "O"},
            {"target-mcbf", "Target mean cycles between failures, 0 (none) to 10000000.", "N"},
            {"confidence", "Confidence of the demonstrated MCBF in percent: 80, 90 or 95.",
                "80|90|95"},
            {"max-p95",
                "Limit on the passed cards' 95th percentile of device time, 0 (none) "
                "to 600 seconds, at most 3 decimals.",
                "SECONDS"},
            {"early-fail", "End the run as soon as the target is out of reach."},
            {"plan",
                "How the run is judged: bound, the demonstrated MCBF against the limits above; "
                "sequential, a probability ratio test; fixed, a fixed-duration test; or a "
                "named fixed-duration plan of MIL-HDBK-781A: IX-D, X-D, XI-D, XII-D, XIII-D, "
                "XIV-D, XV-D, XVI-D, XVII-D. A plan needs --serial and --mcbf-lower, sets the "
                "cards to plan (beyond 100000 if need be: continue it over sittings) and "
                "judges the run alone, so neither --cards nor the limits go with it "
                "(config.ini: plan, else bound).",
                "bound|sequential|fixed|NAME"},
            {"mcbf-lower",
                "The plan's lowest acceptable MCBF, theta1, 1 to 1000000 cycles (config.ini: "
                "mcbfLower).",
                "N"},
            {"discrimination",
                "The plan's discrimination ratio theta0/theta1 (config.ini: discrimination, "
                "else 2); not with a named plan.",
                "1.5|2|3"},
            {"producer-risk",
                "The plan's producer's risk alpha of rejecting a unit at theta0, 1 to 40 "
                "percent (config.ini: producerRisk, else 10); not with a named plan.",
                "PERCENT"},
            {"consumer-risk",
                "The plan's consumer's risk beta of accepting a unit at theta1, 1 to 40 percent "
                "(config.ini: consumerRisk, else 10); not with a named plan.",
                "PERCENT"},
            {"connection",
                "fixed: the HID connection at 115200 baud, as the card test page opens it; "
                "settings: the communication settings of config.ini's [com] (config.ini: "
                "[burnin] connection, else fixed).",
                "fixed|settings"},
            {"port",
                "With --connection settings, for this run: the port, 0 (HID) to 100 "
                "(port n is ttySn-1).",
                "N"},
            {"baud", "With --connection settings, for this run: the baud rate.",
                "1200|9600|115200"},
            {"bp", "With --connection settings, for this run: the BP port, or none.",
                "none|A|B|C|K"},
            {"hang-grace",
                "Seconds a device library call gets past its own timeout (30 s for a call "
                "without one) before it counts as hung, 0.5 to 600 (config.ini: [burnin] "
                "hang_grace, else 10).",
                "SECONDS"},
            {"continue",
                "Go on with a run that was cut short, from its next card, with the "
                "settings it was created with.",
                "RUN_ID"},
            {"upload",
                "Forward the station's records that the results server lacks, then exit: "
                "for a timer, when no run goes (a running burn-in forwards its own)."},
            {"report",
                "Write the PDF report of a recorded run, killed or stopped ones too, print its "
                "path and exit with its verdict's status; each report is a new file.",
                "RUN_ID"},
            {"json",
                "Write the summary as one JSON object on standard output at every exit, bad "
                "usage included (not with --help or --version); progress goes to standard "
                "error."},
            {"quiet",
                "No progress: neither the status line nor the line every hundred cards. "
                "Failed cards, the start and the end are still printed."},
        });
    }
};

CBurnInCommandLine::Request usageError(const QString &error, bool json)
{
    CBurnInCommandLine::Request request;
    request.action = CBurnInCommandLine::Action::Usage;
    request.text = error;
    request.json = json;
    return request;
}

// --continue and --report name a recorded run, which brings its own settings: none of a new
// run's options go with them. The error line, or an empty string with *runId set.
QString recordedRunId(
    const QCommandLineParser &parser, const char *option, const char *why, QString *runId)
{
    for (const char *runOption : kRunOptions) {
        if (parser.isSet(runOption))
            return QStringLiteral("--%1 cannot go with --%2: %3")
                .arg(QLatin1String(runOption), QLatin1String(option), QLatin1String(why));
    }
    *runId = parser.value(option).trimmed();
    return runId->isEmpty()
        ? QStringLiteral("--%1 needs the id of a run").arg(QLatin1String(option))
        : QString();
}

// Where a value in force came from: the option, config.ini, or the built-in default.
QString origin(const QCommandLineParser &parser, const char *option, bool inConfig)
{
    return QStringLiteral("（%1）").arg(parser.isSet(option)
            ? QStringLiteral("--") + QLatin1String(option)
            : inConfig ? QStringLiteral("config.ini")
                       : QStringLiteral("默认"));
}

// Each limit in force and where it came from: an option, config.ini, or the built-in default
// (the confidence of a target that config.ini does not name).
QString limitsShown(const QCommandLineParser &parser, const BurnInOptions &defaults,
    const Qualification::Plan &limits)
{
    const Qualification::Plan builtIn;
    const auto from
        = [&parser](const char *option, bool inConfig) { return origin(parser, option, inConfig); };
    QStringList shown;
    if (limits.targetMcbf > 0) {
        shown << QStringLiteral("MCBF ≥ %1 次").arg(limits.targetMcbf)
                + from("target-mcbf", defaults.limits.targetMcbf > 0)
              << QStringLiteral("置信度 %1%").arg(limits.confidence)
                + from("confidence", defaults.limits.confidence != builtIn.confidence);
    }
    if (limits.maxP95Seconds > 0.0)
        shown << QStringLiteral("P95 ≤ %1 秒").arg(limits.maxP95Seconds, 0, 'f', 3)
                + from("max-p95", defaults.limits.maxP95Seconds > 0.0);
    if (limits.earlyFail && limits.targetMcbf > 0)
        shown << QStringLiteral("无法达标即停") + from("early-fail", defaults.limits.earlyFail);
    return shown.isEmpty() ? QStringLiteral("未设限值")
                           : QStringLiteral("限值 ") + shown.join(QStringLiteral("  "));
}

// The plan from --plan and its inputs over config.ini's; an error line, or an empty string.
QString planFrom(const QCommandLineParser &parser, BurnInOptions *options)
{
    QString error;
    const auto value = [&parser](const char *name) { return parser.value(name).trimmed(); };
    Qualification::TestPlan &plan = options->limits.test;
    if (parser.isSet("plan") && !BurnInConfig::parsePlan(value("plan"), &plan, &error))
        return QStringLiteral("--plan: ") + error;
    const QString where = parser.isSet("plan")
        ? QStringLiteral("--plan %1").arg(Qualification::planKey(plan))
        : QStringLiteral("config.ini's plan %1").arg(Qualification::planKey(plan));
    if (!plan.isPlan()) {
        for (const char *option : kPlanInputs) {
            if (parser.isSet(option))
                return QStringLiteral("--%1 only goes with a plan: give --plan sequential, "
                                      "fixed or a named plan")
                    .arg(QLatin1String(option));
        }
        return QString();
    }
    if (parser.isSet("cards"))
        return parser.isSet("plan")
            ? QStringLiteral("--cards cannot go with %1: the plan sets the cards to plan")
                  .arg(where)
            : QStringLiteral("--cards cannot go with %1: the plan sets the cards to plan; "
                             "give --plan bound to run a set number of cards")
                  .arg(where);
    for (const char *option : kBoundLimits) {
        if (parser.isSet(option))
            return QStringLiteral("--%1 cannot go with %2: a run with a plan is judged by "
                                  "its plan alone")
                .arg(QLatin1String(option), where);
    }
    if (plan.kind == Qualification::PlanKind::Named) {
        for (const char *option : kPlanInputs) {
            if (parser.isSet(option) && QLatin1String(option) != QLatin1String("mcbf-lower"))
                return QStringLiteral("--%1 cannot go with %2: a named plan has its own "
                                      "discrimination ratio and risks")
                    .arg(QLatin1String(option), where);
        }
    }
    if (parser.isSet("mcbf-lower")
        && !BurnInConfig::parseMcbfLower(value("mcbf-lower"), &plan.mcbfLower, &error))
        return QStringLiteral("--mcbf-lower: ") + error;
    if (parser.isSet("discrimination")
        && !BurnInConfig::parseDiscrimination(
            value("discrimination"), &plan.discrimination, &error))
        return QStringLiteral("--discrimination: ") + error;
    if (parser.isSet("producer-risk")
        && !BurnInConfig::parseRisk(value("producer-risk"), &plan.producerRisk, &error))
        return QStringLiteral("--producer-risk: ") + error;
    if (parser.isSet("consumer-risk")
        && !BurnInConfig::parseRisk(value("consumer-risk"), &plan.consumerRisk, &error))
        return QStringLiteral("--consumer-risk: ") + error;
    if (plan.mcbfLower < Qualification::kMinMcbfLower)
        return QStringLiteral("%1 needs --mcbf-lower").arg(where);
    // Judged by the plan alone: config.ini's limits are not the run's.
    const Qualification::Plan bound;
    options->limits.targetMcbf = bound.targetMcbf;
    options->limits.confidence = bound.confidence;
    options->limits.maxP95Seconds = bound.maxP95Seconds;
    options->limits.earlyFail = bound.earlyFail;
    return QString();
}

// The plan in force for the start line, each input with where it came from, e.g. "判定 序贯试验
// （--plan）  θ1 = 10000 次（--mcbf-lower）  d = 2（默认）  α = 10%（默认）  β = 10%（默认）
// N0 = 205992 张  r0 = 15".
QString planShown(const QCommandLineParser &parser, const BurnInOptions &defaults,
    const Qualification::TestPlan &plan)
{
    const Qualification::TestPlan builtIn;
    const Qualification::TestPlan &saved = defaults.limits.test;
    const auto from
        = [&parser](const char *option, bool inConfig) { return origin(parser, option, inConfig); };
    const bool named = plan.kind == Qualification::PlanKind::Named;
    QStringList shown;
    shown << (named ? plan.name
                     : plan.kind == Qualification::PlanKind::Sequential
                     ? QStringLiteral("序贯试验")
                     : QStringLiteral("定时试验"))
            + from("plan", saved.isPlan())
          << QStringLiteral("θ1 = %1 次").arg(plan.mcbfLower)
            + from("mcbf-lower", saved.mcbfLower > 0);
    const QString d = QStringLiteral("d = %1").arg(plan.discrimination);
    if (named) {
        shown << d;
    } else {
        shown << d + from("discrimination", plan.discrimination != builtIn.discrimination)
              << QStringLiteral("α = %1%").arg(plan.producerRisk)
                + from("producer-risk", plan.producerRisk != builtIn.producerRisk)
              << QStringLiteral("β = %1%").arg(plan.consumerRisk)
                + from("consumer-risk", plan.consumerRisk != builtIn.consumerRisk);
    }
    const Qualification::PlanLines lines = Qualification::planLines(plan);
    shown << QStringLiteral("N0 = %1 张").arg(lines.n0) << QStringLiteral("r0 = %1").arg(lines.r0);
    return QStringLiteral("判定 ") + shown.join(QStringLiteral("  "));
}

// The connection from --connection, --port, --baud and --bp over config.ini's; an error line, or
// an empty string. The overrides are checked as the settings dialog's values are, and only go
// with the settings' connection, which they change for this run alone.
QString connectionFrom(const QCommandLineParser &parser, BurnInOptions *options)
{
    QString error;
    if (parser.isSet("connection")
        && !BurnInConfig::parseConnection(
            parser.value("connection").trimmed(), &options->settingsConnection, &error))
        return QStringLiteral("--connection: ") + error;
    ComSettings com = loadComSettings(QLatin1String(BurnInConfig::kConfigFile));
    for (const char *option : {"port", "baud", "bp"}) {
        if (!parser.isSet(option))
            continue;
        if (!options->settingsConnection)
            return QStringLiteral("--%1 only goes with --connection settings")
                .arg(QLatin1String(option));
        const QString text = parser.value(option).trimmed();
        const QString name = QLatin1String(option);
        if (name == QLatin1String("port")) {
            const std::optional<int> port = parsePort(text, &error);
            if (!port)
                return QStringLiteral("--port: ") + error;
            com.port = *port;
        } else if (name == QLatin1String("baud")) {
            const std::optional<int> baud = parseBaud(text, &error);
            if (!baud)
                return QStringLiteral("--baud: ") + error;
            com.baud = *baud;
        } else {
            const std::optional<char> bp = parseBp(text, &error);
            if (!bp)
                return QStringLiteral("--bp: ") + error;
            com.bp = *bp;
        }
    }
    // config.ini's port is read as stored, even outside the range the dialog offers.
    if (options->settingsConnection && !parsePort(QString::number(com.port), &error))
        return QStringLiteral("config.ini [com]: ") + error;
    options->settings.connection
        = options->settingsConnection ? deviceConnection(com) : DeviceArguments::Connection();
    return QString();
}

} // namespace

// The program's own name rather than the path it was started by, which help2man would put
// into the manual.
QString CBurnInCommandLine::usage()
{
    Parser parser;
    QString text = parser.parser.helpText();
    text.replace(0, text.indexOf(QLatin1Char('\n')), usageLine());
    return text + QLatin1Char('\n') + BurnInExitStatus::helpText();
}

QString CBurnInCommandLine::usageLine()
{
    return QStringLiteral("Usage: %1 [options]").arg(QCoreApplication::applicationName());
}

CBurnInCommandLine::Request CBurnInCommandLine::parse(
    const QStringList &arguments, const BurnInOptions &defaults)
{
    Parser p;
    QCommandLineParser &parser = p.parser;
    // Known before anything else is, so that a refused command line still answers in JSON.
    const bool json = arguments.contains(QLatin1String("--json"));
    const auto refused = [json](const QString &error) { return usageError(error, json); };
    if (!parser.parse(arguments))
        return refused(parser.errorText());
    Request request;
    if (parser.isSet(p.help)) {
        request.action = Action::Help;
        request.text = usage();
        return request;
    }
    if (parser.isSet(p.version)) {
        request.action = Action::Version;
        request.text = QCoreApplication::applicationName() + QLatin1Char(' ')
            + QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return request;
    }
    if (!parser.positionalArguments().isEmpty())
        return refused(
            QStringLiteral("Unexpected argument: ") + parser.positionalArguments().constFirst());
    request.json = parser.isSet("json");
    request.quiet = parser.isSet("quiet");
    // The connection is the station's wiring of today, for a new run and a continued one alike.
    BurnInOptions options = defaults;
    if (const QString error = connectionFrom(parser, &options); !error.isEmpty())
        return refused(error);
    // So is the deadline's grace.
    if (QString error; parser.isSet("hang-grace")
        && !BurnInConfig::parseHangGrace(
            parser.value("hang-grace").trimmed(), &options.settings.hangGrace, &error))
        return refused(QStringLiteral("--hang-grace: ") + error);
    if (parser.isSet("upload")) {
        for (const char *option : {"report", "continue", "connection", "hang-grace"}) {
            if (parser.isSet(option))
                return refused(QStringLiteral("--upload and --%1 cannot go together")
                                   .arg(QLatin1String(option)));
        }
        for (const char *option : kRunOptions) {
            if (parser.isSet(option))
                return refused(QStringLiteral("--upload and --%1 cannot go together: it runs "
                                              "no burn-in")
                                   .arg(QLatin1String(option)));
        }
        request.action = Action::Upload;
        return request;
    }
    if (parser.isSet("report")) {
        if (parser.isSet("continue"))
            return refused(QStringLiteral("--report and --continue cannot go together"));
        if (const QString error = recordedRunId(parser, "report",
                "a report shows the run as it was recorded", &request.reportRunId);
            !error.isEmpty())
            return refused(error);
        request.action = Action::Report;
        return request;
    }
    if (parser.isSet("continue")) {
        if (const QString error = recordedRunId(parser, "continue",
                "a run goes on with the settings it was created with", &request.continueRunId);
            !error.isEmpty())
            return refused(error);
        request.options.settings.connection = options.settings.connection;
        request.options.settings.hangGrace = options.settings.hangGrace;
        request.action = Action::Run;
        return request;
    }

    QString error;
    const auto value = [&parser](const char *name) { return parser.value(name).trimmed(); };
    if (parser.isSet("cards")
        && !BurnInConfig::parseCards(value("cards"), &options.settings.cards, &error))
        return refused(QStringLiteral("--cards: ") + error);
    if (parser.isSet("mode")
        && !BurnInConfig::parseMode(value("mode"), &options.settings.mode, &error))
        return refused(QStringLiteral("--mode: ") + error);
    if (parser.isSet("stop-on-failure"))
        options.settings.stopOnFailure = true;
    if (parser.isSet("serial"))
        options.unit.serial = parser.value("serial");
    if (parser.isSet("model"))
        options.unit.model = parser.value("model");
    if (parser.isSet("operator"))
        options.unit.operatorName = parser.value("operator");
    if (parser.isSet("target-mcbf")
        && !BurnInConfig::parseTargetMcbf(value("target-mcbf"), &options.limits.targetMcbf, &error))
        return refused(QStringLiteral("--target-mcbf: ") + error);
    if (parser.isSet("confidence")
        && !BurnInConfig::parseConfidence(value("confidence"), &options.limits.confidence, &error))
        return refused(QStringLiteral("--confidence: ") + error);
    if (parser.isSet("max-p95")
        && !BurnInConfig::parseMaxP95(value("max-p95"), &options.limits.maxP95Seconds, &error))
        return refused(QStringLiteral("--max-p95: ") + error);
    if (parser.isSet("early-fail"))
        options.limits.earlyFail = true;
    error = planFrom(parser, &options);
    if (!error.isEmpty())
        return refused(error);
    error = BurnInConfig::check(options);
    if (!error.isEmpty())
        return refused(error);
    request.options = options;
    request.limitsShown = options.limits.test.isPlan()
        ? planShown(parser, defaults, options.limits.test)
        : limitsShown(parser, defaults, options.limits);
    request.action = Action::Run;
    return request;
}
