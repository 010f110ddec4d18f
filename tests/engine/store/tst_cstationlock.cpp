// SPDX-License-Identifier: MIT
#include "engine/store/cstationlock.h"

#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

namespace {

// Started with this variable naming a results folder, the test program is the other process:
// it takes the station lock, says so, and holds it until its standard input closes.
const char kHoldVariable[] = "CDT_TEST_HOLD_STATION";
const char kHeld[] = "held\n";
constexpr int kTimeoutMs = 10000;

int holdStation(const QString &folder)
{
    CStationLock lock(folder);
    if (!lock.tryLock()) {
        std::fprintf(stderr, "%s\n", qPrintable(lock.error()));
        return 1;
    }
    std::fputs(kHeld, stdout);
    std::fflush(stdout);
    while (std::getchar() != EOF) { }
    return 0;
}

} // namespace

class tst_CStationLock : public QObject
{
    Q_OBJECT

private slots:
    void otherProcessHoldsTheStation_data();
    void otherProcessHoldsTheStation();
};

void tst_CStationLock::otherProcessHoldsTheStation_data()
{
    QTest::addColumn<QString>("holderEnds"); // "" while it holds, else "kill" or "finish"
    QTest::addColumn<bool>("held");

    QTest::newRow("holder alive: refused, naming it") << QString() << true;
    QTest::newRow("holder killed: its lock is taken over") << "kill" << false;
    QTest::newRow("holder finished: released") << "finish" << false;
}

void tst_CStationLock::otherProcessHoldsTheStation()
{
    QFETCH(QString, holderEnds);
    QFETCH(bool, held);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("results"));
    QProcess holder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kHoldVariable), folder);
    holder.setProcessEnvironment(environment);
    holder.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(holder.waitForReadyRead(kTimeoutMs));
    QCOMPARE(holder.readAllStandardOutput(), QByteArray(kHeld));
    const qint64 pid = holder.processId();
    if (holderEnds == QLatin1String("kill"))
        holder.kill();
    else if (holderEnds == QLatin1String("finish"))
        holder.closeWriteChannel();
    if (!holderEnds.isEmpty())
        QVERIFY(holder.waitForFinished(kTimeoutMs));

    // A killed holder leaves its file behind: what is taken over is a stale lock.
    QCOMPARE(
        QFileInfo::exists(CStationLock::lockPath(folder)), holderEnds != QLatin1String("finish"));
    QCOMPARE(CStationLock::isHeldByLiveProcess(folder), held);
    CStationLock lock(folder);
    QCOMPARE(lock.tryLock(), !held);
    if (held) {
        const QString expected
            = QStringLiteral("设备正被另一进程使用：%1（进程 %2，主机 %3）")
                  .arg(QFileInfo(QCoreApplication::applicationFilePath()).fileName())
                  .arg(pid)
                  .arg(QSysInfo::machineHostName());
        QCOMPARE(lock.error(), expected);
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(kTimeoutMs));
        return;
    }
    // This process's own lock counts too, until it lets go.
    QVERIFY(CStationLock::isHeldByLiveProcess(folder));
    lock.unlock();
    QVERIFY(!CStationLock::isHeldByLiveProcess(folder));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kHoldVariable))
        return holdStation(qEnvironmentVariable(kHoldVariable));
    tst_CStationLock test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cstationlock.moc"
