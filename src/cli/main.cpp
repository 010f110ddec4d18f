// SPDX-License-Identifier: MIT
#include "cli/burninexitstatus.h"
#include "cli/burninreportcommand.h"
#include "cli/burninuploadcommand.h"
#include "cli/cburnincommandline.h"
#include "cli/cburninrunner.h"
#include "cli/clitext.h"
#include "cli/toolkitmessages.h"
#include "engine/burnin/burninoptions.h"
#include "qtcompat.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdio>

namespace {

int writeReport(const CBurnInCommandLine::Request &request)
{
    ToolkitMessages::release();
    const BurnInReportCommand::Result result
        = BurnInReportCommand::write(BurnInConfig::resultsFolder(), request.reportRunId);
    if (!result.error.isEmpty())
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
            result.error.toLocal8Bit().constData());
    if (request.json)
        CBurnInRunner::printJson(CliText::report(request.reportRunId, result.exitStatus,
            result.path, result.error, result.data ? &*result.data : nullptr));
    else if (!result.path.isEmpty())
        std::printf("%s\n", result.path.toLocal8Bit().constData());
    return result.exitStatus;
}

int upload(const CBurnInCommandLine::Request &request)
{
    ToolkitMessages::release();
    const auto say = [](const QString &line) {
        std::printf("%s\n", line.toLocal8Bit().constData());
        std::fflush(stdout);
    };
    const BurnInUploadCommand::Result result = BurnInUploadCommand::run(
        BurnInConfig::resultsFolder(), BurnInConfig::resultsServer(), say);
    if (!result.error.isEmpty())
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
            result.error.toLocal8Bit().constData());
    if (request.json) {
        CBurnInRunner::printJson(QJsonObject {{"exitStatus", result.exitStatus},
            {"error", result.error}, {"message", result.message},
            {"upload", CliText::upload(result.configured, result.status)}});
    } else if (!result.message.isEmpty()) {
        say(result.message);
    }
    return result.exitStatus;
}

} // namespace

// A GUI application for the report's PDF writer and its fonts, on the offscreen platform so that
// no display is needed: the command line runs over SSH and from scripts.
int main(int argc, char *argv[])
{
    QtCompat::useUtf8ForLocale();
    // A reader of the progress that goes away (a pipe into head, a closed terminal) must not end
    // the run in the middle of a card's record.
    std::signal(SIGPIPE, SIG_IGN);
    ToolkitMessages::hold();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("card-dispenser-burnin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CDT_VERSION));

    const CBurnInCommandLine::Request request
        = CBurnInCommandLine::parse(QCoreApplication::arguments(), BurnInConfig::load());
    switch (request.action) {
    case CBurnInCommandLine::Action::Help:
    case CBurnInCommandLine::Action::Version:
        std::fputs(request.text.toLocal8Bit().constData(), stdout);
        return 0;
    case CBurnInCommandLine::Action::Usage:
        std::fprintf(stderr, "%s: %s\n%s\nTry '%s --help' for more.\n",
            qPrintable(QCoreApplication::applicationName()), request.text.toLocal8Bit().constData(),
            CBurnInCommandLine::usageLine().toLocal8Bit().constData(),
            qPrintable(QCoreApplication::applicationName()));
        if (request.json)
            CBurnInRunner::printJson(CliText::failure(BurnInExitStatus::Usage, request.text));
        return BurnInExitStatus::Usage;
    case CBurnInCommandLine::Action::Report:
        return writeReport(request);
    case CBurnInCommandLine::Action::Upload:
        return upload(request);
    case CBurnInCommandLine::Action::Run:
        break;
    }
    CBurnInRunner runner(request);
    QObject::connect(&runner, &CBurnInRunner::finished, &app, &QCoreApplication::exit);
    if (const std::optional<int> status = runner.start())
        return *status;
    return app.exec();
}
