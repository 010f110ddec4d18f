// SPDX-License-Identifier: MIT
#include "runnerprocess.h"

#include "engine/store/cburninreader.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcessEnvironment>

namespace RunnerProcess {

QProcessEnvironment environment(const QStringList &settings)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VARNAK_SIM_TAKE_MS", "0");
    // As over SSH without a login session: the toolkit would warn about it.
    env.remove("XDG_RUNTIME_DIR");
    for (const QString &setting : settings)
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    return env;
}

void start(QProcess &process, const QStringList &arguments, const QStringList &settings)
{
    process.setProcessEnvironment(environment(settings));
    process.start(BURNIN_PROGRAM, arguments);
}

Finished finish(QProcess &process)
{
    Finished result;
    if (process.waitForFinished(kRunTimeoutMs) && process.exitStatus() == QProcess::NormalExit)
        result.status = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

Finished run(const QStringList &arguments, const QStringList &settings)
{
    QProcess process;
    start(process, arguments, settings);
    return finish(process);
}

QString csvPath()
{
    const QStringList files = QDir("results").entryList({"burnin-*.csv"}, QDir::Files);
    return files.size() == 1 ? QDir("results").filePath(files.first()) : QString();
}

int csvRows()
{
    const QString path = csvPath();
    return path.isEmpty() ? -1 : int(readBurnInCsv(path).records.size());
}

bool writeConfig(const QString &text)
{
    QFile ini("config.ini");
    return ini.open(QIODevice::WriteOnly) && ini.write(text.toUtf8()) == text.toUtf8().size();
}

QJsonObject summary(const Finished &run)
{
    return QJsonDocument::fromJson(run.out).object();
}

} // namespace RunnerProcess
