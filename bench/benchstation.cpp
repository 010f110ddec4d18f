// SPDX-License-Identifier: MIT
#include "benchstation.h"

#include "engine/store/cburninwriter.h"

#include <cstdio>

namespace BenchStation {

BurnInRecord card(int index, const QDateTime &runStart)
{
    BurnInRecord record;
    record.index = index;
    record.started = runStart.addMSecs(qint64(index) * 900);
    record.cardNumber = QStringLiteral("6217%1").arg(index, 12, 10, QLatin1Char('0'));
    record.passed = index % 97 != 0;
    if (!record.passed) {
        record.failedStep = BurnInStep::ReadChip;
        record.failedCode = -3;
    }
    record.elapsedMs = 880;
    for (const BurnInStep step : {BurnInStep::Open, BurnInStep::Status, BurnInStep::Dispense,
             BurnInStep::PowerOn, BurnInStep::ReadChip, BurnInStep::PowerOff, BurnInStep::Capture})
        record.stepTime(step) = 120;
    return record;
}

bool writeCsvRun(const QString &folder, const QDateTime &start, int cards)
{
    CBurnInWriter writer;
    QString error;
    if (!writer.open(folder, start, BurnInMode::Capture, QString(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    for (int i = 1; i <= cards; ++i)
        writer.writeRecord(card(i, start));
    return writer.error().isEmpty();
}

} // namespace BenchStation
