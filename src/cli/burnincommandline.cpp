// SPDX-License-Identifier: MIT
#include "cli/burnincommandline.h"

#include "cli/burninexitstatus.h"
#include "config/comsettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <initializer_list>

namespace {

const char kDescription[]
    = "Runs a burn-in of the card dispenser from the command line: the same runs as the tool's\n"
      "burn-in page, with the same record in results/ (CSV, step log, the station's database\n"
      "and, for a run with a serial, the PDF report). Works in the current folder: it loads\n"
      "./lib/libvarnak_c.so and reads config.ini's [burnin] defaults, which the options\n"
      "override. With config.ini's [results] server it forwards the record to the shared\n"
      "results server while it runs (password in ~/.pgpass); what the server cannot take waits\n"
      "in the station's database for the next start. Ctrl-C or SIGTERM ends the run after the\n"
      "card in hand; a second Ctrl-C within two seconds ends it at once.";

// The options that set up a new run, which a continued run takes from its own record instead.
const char *const kRunOptions[] = {"cards", "mode", "stop-on-failure", "serial", "model",
    "operator", "target-mcbf", "confidence", "max-p95", "early-fail"};

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
            {"continue",
                "Go on with a run that was cut short, from its next card, with the "
                "settings it was created with.",
                "RUN_ID"},
            {"json",
                "Write the end summary as one JSON object on standard output; progress "
                "goes to standard error."},
            {"quiet", "No progress, only errors (and the JSON summary with --json)."},
        });
    }
};

BurnInCommandLine::Request refused(const QString &error)
{
    BurnInCommandLine::Request request;
    request.action = BurnInCommandLine::Action::Usage;
    request.text = error;
    return request;
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
QString BurnInCommandLine::usage()
{
    Parser parser;
    QString text = parser.parser.helpText();
    text.replace(0, text.indexOf(QLatin1Char('\n')), usageLine());
    return text + QLatin1Char('\n') + BurnInExitStatus::helpText();
}

QString BurnInCommandLine::usageLine()
{
    return QStringLiteral("Usage: %1 [options]").arg(QCoreApplication::applicationName());
}

BurnInCommandLine::Request BurnInCommandLine::parse(
    const QStringList &arguments, const BurnInOptions &defaults)
{
    Parser p;
    QCommandLineParser &parser = p.parser;
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
    if (parser.isSet("continue")) {
        for (const char *option : kRunOptions) {
            if (parser.isSet(option))
                return refused(QStringLiteral("--%1 cannot go with --continue: a run goes on "
                                              "with the settings it was created with")
                                   .arg(QLatin1String(option)));
        }
        request.continueRunId = parser.value("continue").trimmed();
        if (request.continueRunId.isEmpty())
            return refused(QStringLiteral("--continue needs the id of a run"));
        request.options.settings.connection = options.settings.connection;
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
    error = BurnInConfig::check(options);
    if (!error.isEmpty())
        return refused(error);
    request.options = options;
    request.action = Action::Run;
    return request;
}
