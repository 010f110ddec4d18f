// SPDX-License-Identifier: MIT
// Fills station databases beforehand for the results server's benchmarks: each folder named on
// the command line becomes a results folder whose database holds one run of the given number of
// cards, not yet forwarded, recorded as its station (the folder's name). The run is written as a
// CSV file and imported, one transaction for the run, rather than card by card at a card's cost.
//
//     cdt-bench-server-fill CARDS FOLDER...
#include "benchstation.h"

#include "engine/store/cresultsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

const QDateTime kRunStart(QDate(2026, 12, 9), QTime(8, 0));

bool fill(const QString &folder, int cards)
{
    CResultsStore store;
    QStringList skipped;
    if (!QDir().mkpath(folder) || !BenchStation::writeCsvRun(folder, kRunStart, cards)
        || !store.open(folder)
        || store.importCsvRuns(QFileInfo(folder).fileName(), &skipped) != 1) {
        std::fprintf(stderr, "cannot fill %s: %s\n", qPrintable(folder), qPrintable(store.error()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    const int cards = arguments.value(0).toInt();
    if (cards <= 0 || arguments.size() < 2) {
        std::fprintf(stderr, "usage: cdt-bench-server-fill CARDS FOLDER...\n");
        return 2;
    }
    for (const QString &folder : arguments.mid(1)) {
        if (!fill(folder, cards))
            return 1;
    }
    return 0;
}
