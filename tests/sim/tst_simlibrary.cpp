// SPDX-License-Identifier: MIT
// Drives the built library through dlopen, as the tool does, with settings in the environment.
#include "simcodes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <atomic>
#include <dlfcn.h>
#include <elf.h>
#include <thread>

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

QTEST_GUILESS_MAIN(TestSimLibrary)
#include "tst_simlibrary.moc"
