// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The command-line runner as a process in the current working folder, with the simulator's
// settings ("VARNAK_SIM_CARDS=5" and the like) in its environment, and what it leaves there.
namespace RunnerProcess {

constexpr int kRunTimeoutMs = 120000;

struct Finished
{
    int status = -1; // -1 when it did not end on its own within kRunTimeoutMs
    QByteArray out;
    QByteArray err;
};

QProcessEnvironment environment(const QStringList &settings);
void start(QProcess &process, const QStringList &arguments, const QStringList &settings);
Finished finish(QProcess &process);
Finished run(const QStringList &arguments, const QStringList &settings = {});

// The one run's CSV in results/, empty when there is none or more than one; its rows, or -1.
QString csvPath();
int csvRows();
bool writeConfig(const QString &text);
// --json's summary.
QJsonObject summary(const Finished &run);

} // namespace RunnerProcess
