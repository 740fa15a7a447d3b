#include "LineRuns.h"

#include "DeviceProfile.h"
#include "DeviceSession.h"
#include "ParameterReader.h"
#include "RegisterMap.h"
#include "SystemPorts.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace bench {

namespace {

// The window's fixed pause between its probe and its full read.
constexpr int kProbePauseMs = 300;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The line's seconds for reads of these blocks and a fence behind them.
double readSeconds(const std::vector<regmap::Block> &blocks, int baud)
{
    constexpr int kRequest = 8, kReplyHead = 5; // slave, function, count, CRC
    double s = 0;
    for (const regmap::Block &b : blocks)
        s += frameSeconds(kRequest, baud) + frameSeconds(kReplyHead + 2 * b.count, baud);
    const RegisterBlock check = session::deviceProfile().checkShapes.front();
    return s + frameSeconds(kRequest, baud) + frameSeconds(kReplyHead + 2 * check.count, baud);
}

double writeSeconds(const std::vector<params::PlannedWrite> &writes, int baud)
{
    double s = 0;
    for (const params::PlannedWrite &w : writes)
        s += frameSeconds(w.single ? 8 : 9 + 2 * w.registers.size(), baud) + frameSeconds(8, baud);
    return s;
}

std::vector<regmap::Block> fullRead()
{
    std::vector<regmap::Block> blocks = regmap::fullReadBlocks();
    blocks.insert(blocks.begin(), regmap::kStatusBlock);
    return blocks;
}

std::vector<regmap::Block> configurationReads()
{
    std::vector<regmap::Block> parts;
    for (const regmap::Block &b : regmap::configurationBlocks())
        for (const regmap::Block &p : regmap::readParts(b.start, b.count))
            parts.push_back(p);
    return parts;
}

Row measure(const char *name, CountingRtuLink &link, int baud, double fixedSeconds, double planLimit,
            const std::function<bool()> &operation)
{
    std::vector<double> times;
    double limit = 0;
    int frames = 0;
    for (int run = 0; run < kRuns; ++run) {
        link.reset();
        QElapsedTimer t;
        t.start();
        if (!operation()) {
            std::fprintf(stderr, "alarmcfg-bench: %s failed: %s\n", name, qPrintable(link.lastError()));
            return {name, 0, 0, 0, 0};
        }
        times.push_back(t.nsecsElapsed() / 1e9);
        limit = link.wireSeconds(baud) + fixedSeconds;
        frames = link.exchanges();
    }
    return {name, frames, median(times), limit, planLimit};
}

void printRow(const QString &label, int baud, const Row &r)
{
    std::printf("%-8s %-7d %-10s %6d %12.1f %10.1f %6.2f %10.1f %6.2f\n", qPrintable(label), baud, r.operation, r.frames,
                r.measured * 1000, r.limit * 1000, r.measured / r.limit, r.planLimit * 1000, r.measured / r.planLimit);
}

} // namespace

int benchOnPort(const QStringList &args)
{
    auto option = [&](const char *name) {
        const qsizetype at = args.indexOf(QLatin1String(name));
        return at >= 0 ? args.value(at + 1) : QString();
    };
    const QString port = option("--port");
    const int baud = option("--baud").isEmpty() ? LinkSettings::kDefaultBaud : option("--baud").toInt();
    const QString label = option("--label").isEmpty() ? QStringLiteral("-") : option("--label");
    if (port.isEmpty() || baud <= 0) {
        std::fprintf(stderr, "usage: alarmcfg-bench --port PORT [--baud N] [--label TEXT]\n");
        return 2;
    }
    CountingRtuLink link;
    LinkSettings settings = link.settings();
    settings.baud = baud;
    link.setSettings(settings);
    session::DeviceSession device(link);
    link.setTarget(ports::targetOf(ports::lookUpPorts(), port));
    if (!link.OpenPort()) {
        std::fprintf(stderr, "alarmcfg-bench: %s: %s\n", qPrintable(port), qPrintable(link.lastError()));
        return 1;
    }

    // The window's connect: the probe, its pause, the full read.
    std::optional<params::DeviceReading> reading;
    const Row connect = measure("connect", link, baud, kProbePauseMs / 1000.0,
                                readSeconds({regmap::kStatusBlock}, baud) - readSeconds({}, baud)
                                                          + readSeconds(fullRead(), baud) + kProbePauseMs / 1000.0,
                                [&] {
                                    if (!device.probeStatus())
                                        return false;
                                    QThread::msleep(kProbePauseMs);
                                    const auto read = device.readFullRead(fullRead());
                                    if (!read)
                                        return false;
                                    params::ParameterReader reader;
                                    for (const ModbusLink::BlockValues &b : *read)
                                        reader.apply(b.start, b.values, static_cast<int>(b.values.size()));
                                    reading = reader.reading();
                                    return true;
                                });
    // "设置" with no edit: read for the backup, saved, then the 22 writes.
    QTemporaryDir backups;
    session::WriteOptions options;
    options.port = port;
    options.backupFolder = backups.path();
    options.plannedAgainst = reading ? &*reading : nullptr;
    double writePlan = 0;
    const Row write = measure("write", link, baud, 0, 0, [&] {
        if (!reading)
            return false;
        const session::WriteResult r = device.write(reading->shown, options);
        writePlan = readSeconds(configurationReads(), baud) + writeSeconds(r.writes, baud);
        return r.ok();
    });
    const Row readBack = measure("read-back", link, baud, 0, readSeconds(regmap::fullReadBlocks(), baud),
                                 [&] { return device.readFullRead(regmap::fullReadBlocks()).has_value(); });
    link.ClosePort();

    std::printf("%-8s %-7s %-10s %6s %12s %10s %6s %10s %6s\n", "image", "baud", "operation", "frames", "measured_ms",
                "limit_ms", "ratio", "plan_ms", "ratio");
    // Behind a network port each of the plan's requests takes a round trip too.
    const double roundTrip = link.roundTripSeconds();
    const int planRequests[] = {1 + static_cast<int>(fullRead().size()) + 1,
                                static_cast<int>(configurationReads().size()) + 1 + 22,
                                static_cast<int>(regmap::fullReadBlocks().size()) + 1};
    int i = 0;
    for (Row r : {connect, write, readBack}) {
        if (r.frames == 0)
            return 1;
        if (r.planLimit == 0)
            r.planLimit = writePlan;
        r.planLimit += planRequests[i++] * roundTrip;
        printRow(label, baud, r);
    }
    return 0;
}

} // namespace bench
