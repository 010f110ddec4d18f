// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cburninsummary.h"
#include "engine/burnin/cchartseries.h"
#include "engine/burnin/cfailuremodes.h"
#include "engine/burnin/planchart.h"
#include "engine/burnin/qualification.h"
#include "engine/records/burninrecord.h"

#include <QDateTime>
#include <QString>

#include <vector>

// Everything a burn-in report shows, filled by whoever holds the run: the page at the end of a
// run, or a reader of the station's database. Every field over all stretches of the run. Plain
// data.
struct BurnInReportData
{
    // The dispenser and the station.
    QString serial;
    QString model;
    QString operatorName;
    QString station;
    QString toolVersion;
    QString libraryPath;
    QString librarySha256; // hex
    QString connection; // what openDevice was given, e.g. "HID，115200"; empty when unknown
    // The run.
    BurnInMode mode = BurnInMode::Capture;
    QDateTime started;
    QDateTime ended;
    QString endText; // how it ended, e.g. "已完成" or "已停止"; left out when empty
    // Each time a card could not begin because the dispenser could not be opened: when, and
    // which card with the open's code. Not charged to the unit, but a connection that keeps
    // dropping is worth a look.
    struct Interruption
    {
        QDateTime at;
        QString reason;
    };
    std::vector<Interruption> interruptions;
    // Each hang and crash of the device library (charged as failed cards), each end of its
    // process from outside (not charged), and each new process that found another library than
    // the stretch began with.
    std::vector<Interruption> driverFaults;
    int driverFailures = 0; // the hangs and crashes among them
    // done (T), passed, failed, device failures (r) and the device times of passed cards
    BurnInFigures figures;
    // What the run was to show, plannedCards included, and what it showed.
    Qualification::Plan plan;
    std::vector<FailureMode> failureModes;
    CChartSeries chart; // with its P95 line set, as the page's chart has it
    // A run judged by a plan: its failures among its cards in order, from which the report
    // finds the card that decided and draws the plan chart. Empty for a run judged by the bound.
    PlanPath planPath;

    Qualification::Standing standing() const;
    Qualification::Verdict verdict() const;
    // Every planned card is recorded.
    bool finished() const { return figures.done >= plan.plannedCards; }
};

// Writes a burn-in report as an A4 PDF with Qt's own PDF writer: the figures, the demonstrated
// MCBF or the test plan and the verdict in large type, the failure modes, and the charts drawn as
// vectors by the page's own chart code. The text is in the window's Chinese font, embedded, so the
// file prints and copies the same anywhere. Needs a QGuiApplication for the fonts; GUI thread.
class CBurnInReport
{
public:
    // The family the report asks for first; the window's Chinese texts come from the same font.
    static QString fontFamily();
    // Writes the whole file or nothing (through QSaveFile). On failure returns false and, when
    // error is given, says why in a line for the operator.
    static bool write(const BurnInReportData &data, const QString &path, QString *error = nullptr);
};
