// SPDX-License-Identifier: MIT
// Drives the built library through dlopen, as the tool does, with settings in the environment.
#include "simcodes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <csignal>
#include <dlfcn.h>
#include <elf.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const QStringList TheTen = {"closeDevice", "deviceEnterCard", "deviceMoveCard", "deviceSendCard",
    "getICInfo", "getICInfoARQC", "getStatus", "openDevice", "powerOff", "powerOn"};

class Library
{
public:
    Library()
        : m_handle(dlopen(SIM_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL))
    {
        bind(openDevice, "openDevice");
        bind(closeDevice, "closeDevice");
        bind(getStatus, "getStatus");
        bind(powerOn, "powerOn");
        bind(deviceMoveCard, "deviceMoveCard");
        bind(deviceSendCard, "deviceSendCard");
        bind(getICInfo, "getICInfo");
    }
    ~Library() { unload(); }
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    // True when the library really left the process, so the next load starts afresh.
    bool unload()
    {
        if (m_handle)
            dlclose(m_handle);
        m_handle = nullptr;
        void *still = dlopen(SIM_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
        if (still)
            dlclose(still);
        return !still;
    }

    void *symbol(const QString &name) const { return dlsym(m_handle, qPrintable(name)); }

    QString channel() const
    {
        char reply[1024] = {};
        if (getStatus(5, reply) != simcode::Ok)
            return QStringLiteral("error");
        return QJsonDocument::fromJson(reply)["Channel"].toString();
    }

    int (*openDevice)(int, int, const char *, int) = nullptr;
    int (*closeDevice)(int) = nullptr;
    int (*getStatus)(int, char *) = nullptr;
    int (*powerOn)(int, int) = nullptr;
    int (*deviceMoveCard)(const char *, int) = nullptr;
    int (*deviceSendCard)(const char *, int) = nullptr;
    int (*getICInfo)(int, const char *, const char *, int *, char *, int *, const char *, int)
        = nullptr;

private:
    template<typename F> void bind(F &fn, const char *name)
    {
        fn = reinterpret_cast<F>(symbol(name));
        QVERIFY2(fn, name);
    }

    void *m_handle;
};

// Two threads asking for the status until destroyed; joined even when a check fails.
class Pollers
{
public:
    explicit Pollers(const Library &lib)
    {
        for (auto &thread : m_threads)
            thread = std::thread([this, &lib] {
                while (!m_stop)
                    lib.channel();
            });
    }
    ~Pollers()
    {
        m_stop = true;
        for (auto &thread : m_threads)
            thread.join();
    }

private:
    std::atomic<bool> m_stop {false};
    std::thread m_threads[2];
};

// Names the file's dynamic symbol table defines, i.e. all that any dlsym could find.
QStringList definedDynamicSymbols(const QByteArray &file)
{
    const char *base = file.constData();
    const auto *header = reinterpret_cast<const Elf64_Ehdr *>(base);
    const auto *sections = reinterpret_cast<const Elf64_Shdr *>(base + header->e_shoff);
    QStringList names;
    for (int i = 0; i < header->e_shnum; ++i) {
        if (sections[i].sh_type != SHT_DYNSYM)
            continue;
        const char *strings = base + sections[sections[i].sh_link].sh_offset;
        const auto *symbols = reinterpret_cast<const Elf64_Sym *>(base + sections[i].sh_offset);
        for (std::size_t k = 0; k < sections[i].sh_size / sizeof(Elf64_Sym); ++k) {
            if (symbols[k].st_shndx != SHN_UNDEF && ELF64_ST_BIND(symbols[k].st_info) != STB_LOCAL)
                names << QString::fromLatin1(strings + symbols[k].st_name);
        }
    }
    names.sort();
    return names;
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// Makes one call with the arguments the tool passes; false for a name it does not know.
bool callAsTheTool(const Library &lib, const QString &name)
{
    char reply[1024] = {};
    int in1 = -1;
    int in2 = 0;
    if (name == "openDevice" && lib.openDevice)
        lib.openDevice(0, 115200, "", 5);
    else if (name == "getStatus" && lib.getStatus)
        lib.getStatus(5, reply);
    else if (name == "powerOn" && lib.powerOn)
        lib.powerOn(0, 5);
    else if (name == "deviceSendCard" && lib.deviceSendCard)
        lib.deviceSendCard("cp31", 30);
    else if (name == "getICInfo" && lib.getICInfo)
        lib.getICInfo(2, "5A", "", &in1, reply, &in2, "", 20);
    else
        return false;
    return true;
}

QString signalled(int signal)
{
    return QString("signal %1").arg(signal);
}

QString exited(int status)
{
    return QString("exit %1").arg(status);
}

// A process of its own that loads the library afresh and makes the calls named, in order. A name
// with a leading '&' is called from a thread of its own, whose call must hang: the child goes on
// once the trace says so. When all calls are done the child unloads the library, unless a call
// still hangs inside it, and exits with 0; 100 says it could not do what it was asked.
class Child
{
public:
    Child(const QStringList &calls, const QString &trace)
        : m_pid(fork())
    {
        if (m_pid == 0)
            run(calls, trace);
    }
    ~Child()
    {
        if (m_pid > 0 && kill(m_pid, SIGKILL) == 0)
            waitpid(m_pid, nullptr, 0);
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    pid_t pid() const { return m_pid; }

    // "exit <status>" or "signal <number>" once the child has ended, empty while it runs.
    QString end()
    {
        int status = 0;
        if (m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_end = WIFSIGNALED(status) ? signalled(WTERMSIG(status)) : exited(WEXITSTATUS(status));
        }
        return m_end;
    }

    // The state letter in /proc/<pid>/stat: 'S' for a sleep that takes no CPU time.
    char state() const
    {
        QFile stat(QString("/proc/%1/stat").arg(m_pid));
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        const int at = line.lastIndexOf(')') + 2;
        return at >= 2 && at < line.size() ? line.at(at) : '?';
    }

private:
    // Ends with _exit: nothing of the parent's may run down here, nor may a hung call's library
    // be unloaded beneath it.
    [[noreturn]] static void run(const QStringList &calls, const QString &trace)
    {
        const rlimit noCore {0, 0}; // the crashes are meant, their core files are not wanted
        setrlimit(RLIMIT_CORE, &noCore);
        // In place of QtTest's crash handler, which came along with the fork: one of the caller's
        // own that the library must get past for SIGSEGV, and none for SIGABRT, which std::abort
        // leaves to the caller's handler.
        std::signal(SIGSEGV, [](int) { _exit(101); });
        std::signal(SIGABRT, SIG_DFL);
        Library lib;
        bool hanging = false;
        for (const QString &call : calls) {
            if (!call.startsWith('&')) {
                if (!callAsTheTool(lib, call))
                    _exit(100);
                continue;
            }
            hanging = true;
            std::thread([&lib, name = call.mid(1)] { callAsTheTool(lib, name); }).detach();
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (readLines(trace).filter(QRegularExpression(" hangs$")).isEmpty()) {
                if (std::chrono::steady_clock::now() > deadline)
                    _exit(100);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        if (!hanging)
            lib.unload();
        _exit(0);
    }

    pid_t m_pid;
    QString m_end;
};

} // namespace

class TestSimLibrary : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void exportsExactlyTheTen();
    void issueSequenceAndTrace();
    void concurrentCallsOverlap();
    void sequentialCallsDoNotOverlap();
    void freshDeviceAfterReload();
    void expectedPortFromEnvironment();
    void faultInChildProcess_data();
    void faultInChildProcess();

private:
    QTemporaryDir m_dir;
    QString m_trace;
};

void TestSimLibrary::init()
{
    // Settings of an earlier test, or of the shell that started this one, must not leak in.
    for (const QString &name : QProcessEnvironment::systemEnvironment().keys()) {
        if (name.startsWith("VARNAK_SIM_"))
            qunsetenv(name.toLocal8Bit().constData());
    }
    m_trace = m_dir.filePath(QTest::currentTestFunction() + QString(".log"));
    // Each row of a table starts a trace of its own.
    QFile::remove(m_trace);
    qputenv("VARNAK_SIM_TRACE", m_trace.toLocal8Bit());
}

void TestSimLibrary::exportsExactlyTheTen()
{
    QFile file(SIM_LIBRARY_PATH);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(definedDynamicSymbols(file.readAll()), TheTen);
    Library lib;
    for (const QString &name : TheTen)
        QVERIFY2(lib.symbol(name), qPrintable(name));
}

void TestSimLibrary::issueSequenceAndTrace()
{
    qputenv("VARNAK_SIM_TAKE_MS", "off");
    Library lib;
    QCOMPARE(lib.openDevice(0, 115200, "", 5), simcode::Ok);
    QCOMPARE(lib.channel(), QString("cp35"));
    QCOMPARE(lib.deviceSendCard("cp31", 30), simcode::Ok);
    QCOMPARE(lib.channel(), QString("cp31"));
    QCOMPARE(lib.powerOn(0, 5), simcode::Ok);
    int in1 = -1;
    int in2 = 0;
    char reply[1024] = {};
    QCOMPARE(lib.getICInfo(2, "5A", "", &in1, reply, &in2, "", 20), simcode::Ok);
    const QString number = QJsonDocument::fromJson(reply)["Data"]["5A"].toString();
    QVERIFY2(QRegularExpression("^62\\d{17}$").match(number).hasMatch(), reply);
    QCOMPARE(lib.deviceMoveCard("cp34", 10), simcode::Ok);
    QCOMPARE(lib.channel(), QString("cp34"));
    QCOMPARE(lib.closeDevice(5), simcode::Ok);
    QVERIFY(lib.unload());

    const QStringList expected = {
        R"(openDevice(0, 115200, "", 5) = 0 [overlaps 0])",
        R"(getStatus(5, buf) = 0 [overlaps 0])",
        R"(deviceSendCard("cp31", 30) = 0 [overlaps 0])",
        R"(getStatus(5, buf) = 0 [overlaps 0])",
        R"(powerOn(0, 5) = 0 [overlaps 0])",
        R"(getICInfo(2, "5A", "", &-1, buf, &0, "", 20) = 0 [overlaps 0])",
        R"(deviceMoveCard("cp34", 10) = 0 [overlaps 0])",
        R"(getStatus(5, buf) = 0 [overlaps 0])",
        R"(closeDevice(5) = 0 [overlaps 0])",
        "overlaps 0",
    };
    QCOMPARE(readLines(m_trace), expected);
}

void TestSimLibrary::concurrentCallsOverlap()
{
    qputenv("VARNAK_SIM_LATENCY_MS", "20");
    Library lib;
    {
        const Pollers pollers(lib);
        QTRY_VERIFY_WITH_TIMEOUT(
            !readLines(m_trace).filter(QRegularExpression("\\[overlaps [1-9]")).isEmpty(), 10000);
    }
    QVERIFY(lib.unload());
    const QString last = readLines(m_trace).last();
    QVERIFY2(QRegularExpression("^overlaps [1-9]\\d*$").match(last).hasMatch(), qPrintable(last));
}

void TestSimLibrary::sequentialCallsDoNotOverlap()
{
    qputenv("VARNAK_SIM_LATENCY_MS", "20");
    Library lib;
    for (int i = 0; i < 3; ++i) {
        std::thread([&lib] { lib.channel(); }).join();
        lib.channel();
    }
    QVERIFY(lib.unload());
    const QStringList lines = readLines(m_trace);
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines.filter("[overlaps 0]").size(), 6);
    QCOMPARE(lines.last(), QString("overlaps 0"));
}

void TestSimLibrary::freshDeviceAfterReload()
{
    qputenv("VARNAK_SIM_CARDS", "1");
    for (int round = 0; round < 2; ++round) {
        Library lib;
        QCOMPARE(lib.openDevice(0, 115200, "", 5), simcode::Ok);
        QCOMPARE(lib.deviceSendCard("cp31", 30), simcode::Ok);
        QCOMPARE(lib.deviceMoveCard("cp35", 5), simcode::Ok);
        QCOMPARE(lib.deviceSendCard("cp31", 30), simcode::BoxEmpty);
        QVERIFY(lib.unload());
    }
    // The environment is read afresh at each load too.
    qputenv("VARNAK_SIM_RC_openDevice", "-3");
    Library lib;
    QCOMPARE(lib.openDevice(0, 115200, "", 5), -3);
}

// What a test of a run's connection relies on: the variable reaches the loaded library.
void TestSimLibrary::expectedPortFromEnvironment()
{
    qputenv("VARNAK_SIM_PORT", "2");
    Library lib;
    QCOMPARE(lib.openDevice(0, 115200, "", 5), simcode::WrongPort);
    QCOMPARE(lib.openDevice(2, 9600, "K", 5), simcode::Ok);
    QVERIFY(lib.unload());
    const QStringList expected = {
        R"(openDevice(0, 115200, "", 5) = -19 [overlaps 0])",
        R"(openDevice(2, 9600, "K", 5) = 0 [overlaps 0])",
        "overlaps 0",
    };
    QCOMPARE(readLines(m_trace), expected);
}

void TestSimLibrary::faultInChildProcess_data()
{
    QTest::addColumn<QString>("env");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QStringList>("trace");

    const auto row
        = [](const char *name, const char *env, const char *calls, const QString &end,
              const QStringList &trace) { QTest::newRow(name) << env << calls << end << trace; };
    const QString open = R"(openDevice(0, 115200, "", 5))";
    const QString send = R"(deviceSendCard("cp31", 30))";
    const QString ic = R"(getICInfo(2, "5A", "", &-1, buf, &0, "", 20))";
    const QString status = "getStatus(5, buf)";
    const QString closed = " = -11 [overlaps 0]";
    const QString ok = " = 0 [overlaps 0]";

    row("segv", "FAULT_getICInfo=2:segv", "openDevice deviceSendCard powerOn getICInfo getICInfo",
        signalled(SIGSEGV), {open + ok, send + ok, "powerOn(0, 5)" + ok, ic + ok, ic + " segv"});
    row("abort", "FAULT_deviceSendCard=1:abort", "openDevice deviceSendCard", signalled(SIGABRT),
        {open + ok, send + " abort"});
    row("exit", "FAULT_getStatus=3:exit", "getStatus getStatus getStatus", exited(3),
        {status + closed, status + closed, status + " exit"});
    row("hang", "FAULT_getICInfo=2:hang", "getICInfo getICInfo", "hangs",
        {ic + closed, ic + " hangs"});
    row("call before the fault", "FAULT_getStatus=3:exit", "getStatus getStatus", exited(0),
        {status + closed, status + closed, "overlaps 0"});
    row("counted per function", "FAULT_getStatus=2:abort FAULT_getICInfo=2:exit",
        "getICInfo getStatus getICInfo", exited(3), {ic + closed, status + closed, ic + " exit"});
    row("before a forced result", "RC_getStatus=-5 FAULT_getStatus=1:segv", "getStatus",
        signalled(SIGSEGV), {status + " segv"});
    // A latency of ten minutes would outlast the wait for the end.
    row("before the latency", "LATENCY_MS=600000 FAULT_getStatus=1:abort", "getStatus",
        signalled(SIGABRT), {status + " abort"});
    row("unparsable is off", "FAULT_getStatus=1:crash", "getStatus", exited(0),
        {status + closed, "overlaps 0"});
    row("name is case-sensitive", "FAULT_getstatus=1:exit", "getStatus", exited(0),
        {status + closed, "overlaps 0"});
    // The hung call holds no lock, never leaves the library, and is the only one to hang.
    row("hang holds up only its caller", "FAULT_getStatus=2:hang",
        "openDevice getStatus &getStatus getStatus deviceSendCard getStatus", exited(0),
        {open + ok, status + ok, status + " hangs", status + " = 0 [overlaps 1]",
            send + " = 0 [overlaps 2]", status + " = 0 [overlaps 3]"});
}

// The library runs in a child process, as in a test of the tool against a broken vendor
// library, and the child's end is what the fault makes of it.
void TestSimLibrary::faultInChildProcess()
{
    QFETCH(QString, env);
    QFETCH(QString, calls);
    QFETCH(QString, end);
    QFETCH(QStringList, trace);
    for (const QString &pair : env.split(' '))
        qputenv(qPrintable("VARNAK_SIM_" + pair.section('=', 0, 0)),
            pair.section('=', 1).toLocal8Bit());

    Child child(calls.split(' '), m_trace);
    QVERIFY(child.pid() > 0);
    if (end != "hangs") {
        QTRY_COMPARE_WITH_TIMEOUT(child.end(), end, 10000);
        QCOMPARE(readLines(m_trace), trace);
        return;
    }
    // The line is written before the call blocks, so a watcher knows the call is under way.
    QTRY_COMPARE_WITH_TIMEOUT(readLines(m_trace), trace, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(child.state(), 'S', 10000);
    QCOMPARE(child.end(), QString());
    QCOMPARE(kill(child.pid(), SIGKILL), 0);
    QTRY_COMPARE_WITH_TIMEOUT(child.end(), signalled(SIGKILL), 10000);
    QCOMPARE(readLines(m_trace), trace);
}

QTEST_GUILESS_MAIN(TestSimLibrary)
#include "tst_simlibrary.moc"
