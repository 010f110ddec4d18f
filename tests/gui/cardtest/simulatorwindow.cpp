// SPDX-License-Identifier: MIT
#include "simulatorwindow.h"

#include "gui/cardtest/tabkeypad.h"
#include "gui/shell/maindialog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace {

const QRegularExpression kCardNumber(QStringLiteral("62\\d{17}"));
const QRegularExpression kCallOverlaps(QStringLiteral("^(.*) \\[overlaps (\\d+)\\]$"));

} // namespace

SimulatorWindow::SimulatorWindow(const QStringList &settings)
{
    if (!m_folder.stageSimulator())
        return;
    m_environment.set("VARNAK_SIM_TRACE", m_folder.filePath("trace.txt").toLocal8Bit());
    for (const QString &setting : settings) {
        const QByteArray name = setting.section('=', 0, 0).toLatin1();
        m_environment.set(name.constData(), setting.section('=', 1).toUtf8());
    }
    m_dialog = std::make_unique<MainDialog>();
}

SimulatorWindow::~SimulatorWindow() = default;

bool SimulatorWindow::hasLibrary() const
{
    return m_dialog && m_dialog->sdk()->pOpenDevice;
}

TabKeypad *SimulatorWindow::page() const
{
    return m_dialog->findChild<TabKeypad *>();
}

TabBurnIn *SimulatorWindow::burnInPage() const
{
    return m_dialog->burnInPage();
}

QPushButton *SimulatorWindow::button(const QString &name) const
{
    return page()->findChild<QPushButton *>(name);
}

QPlainTextEdit *SimulatorWindow::logPane() const
{
    return m_dialog->findChild<QPlainTextEdit *>("EditLog");
}

QStringList SimulatorWindow::rawLogLines() const
{
    const QString text = logPane()->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

QStringList SimulatorWindow::logLines() const
{
    QStringList lines = rawLogLines();
    lines.replaceInStrings(kCardNumber, "<number>");
    return lines;
}

QStringList SimulatorWindow::cardNumbers() const
{
    QStringList numbers;
    for (const QString &line : rawLogLines()) {
        const QRegularExpressionMatch match = kCardNumber.match(line);
        if (match.hasMatch())
            numbers << match.captured();
    }
    return numbers;
}

QStringList SimulatorWindow::traceLines() const
{
    QFile file(m_folder.filePath("trace.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    return text.split('\n', Qt::SkipEmptyParts);
}

QStringList SimulatorWindow::calls() const
{
    QStringList lines = traceLines();
    lines.replaceInStrings(kCallOverlaps, "\\1");
    return lines;
}

QList<int> SimulatorWindow::overlapsSeenByCalls() const
{
    QList<int> counts;
    for (const QString &line : traceLines()) {
        const QRegularExpressionMatch match = kCallOverlaps.match(line);
        if (match.hasMatch())
            counts << match.captured(2).toInt();
    }
    return counts;
}

qint64 SimulatorWindow::close()
{
    QElapsedTimer timer;
    timer.start();
    m_dialog->close();
    m_dialog.reset();
    return timer.elapsed();
}
