// SPDX-License-Identifier: MIT
// The driver host's own costs, on the simulator in the working folder at zero latency: the round
// trip of one call (request out, the call in the host, reply back) against the call's own time
// in the host, and the time from a host that crashed to the next card's first call (a new host,
// the library loaded, the device opened). Prints run.sh's "key=value" lines.
//
//     cdt-bench-host [CALLS [CRASHES]]
#include "benchreport.h"

#include "engine/device/cdriverhost.h"
#include "engine/device/devicelibrary.h"
#include "engine/station/cstationdevice.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace std::chrono_literals;

double percentile(std::vector<qint64> values, double share)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(share * double(values.size() - 1));
    return double(values[rank]);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int calls = argc > 1 ? QByteArray(argv[1]).toInt() : 20000;
    const int crashes = argc > 2 ? QByteArray(argv[2]).toInt() : 50;
    const QString library = QString::fromLatin1(kDeviceLibraryPath);
    const DriverProtocol::Request open = DriverProtocol::open(DeviceArguments::Connection());

    std::vector<qint64> trips;
    std::vector<qint64> inHost;
    {
        CDriverHost host(CHostDevice::hostProgram(), library, 10s);
        if (!host.start()) {
            std::fprintf(stderr, "cdt-bench-host: %s\n", qPrintable(host.error()));
            return 1;
        }
        host.call(open);
        trips.reserve(std::size_t(calls));
        inHost.reserve(std::size_t(calls));
        for (int i = 0; i < calls; ++i) {
            const qint64 before = BenchReport::nanosNow();
            const CDeviceLink::Result result = host.call(DriverProtocol::status());
            trips.push_back(BenchReport::nanosNow() - before);
            inHost.push_back(result.ns);
        }
        host.call(DriverProtocol::close());
        host.finish();
    }
    BenchReport::print("host_roundtrip_median_us", percentile(trips, 0.5) / 1e3);
    BenchReport::print("host_roundtrip_p99_us", percentile(trips, 0.99) / 1e3);
    BenchReport::print("host_call_in_host_median_us", percentile(inHost, 0.5) / 1e3);

    // Each host's first status query crashes it, as VARNAK_SIM_FAULT_getStatus=1:segv plants.
    qputenv("VARNAK_SIM_FAULT_getStatus", "1:segv");
    std::vector<qint64> restarts;
    CDriverHost host(CHostDevice::hostProgram(), library, 10s);
    for (int i = 0; i < crashes; ++i) {
        if (host.call(DriverProtocol::status()).answer != CDeviceLink::Answer::DriverCrash) {
            std::fprintf(stderr, "cdt-bench-host: the planted crash did not happen\n");
            return 1;
        }
        const qint64 crashed = BenchReport::nanosNow();
        const CDeviceLink::Result opened = host.call(open);
        restarts.push_back(BenchReport::nanosNow() - crashed);
        if (opened.answer != CDeviceLink::Answer::Returned) {
            std::fprintf(stderr, "cdt-bench-host: no new host: %s\n", qPrintable(opened.why));
            return 1;
        }
    }
    host.finish();
    BenchReport::print("host_crash_to_open_median_ms", percentile(restarts, 0.5) / 1e6);
    BenchReport::print("host_crash_to_open_max_ms", percentile(restarts, 1.0) / 1e6);
    return 0;
}
