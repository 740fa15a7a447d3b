#include "LineRuns.h"

#include "FormMain.h"
#include "SystemPorts.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace bench {

namespace {

constexpr double kProbePauseSeconds = FormMain::kProbePauseMs / 1000.0;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

void printHeader()
{
    std::printf("%-7s %-10s %6s %12s %10s %6s\n", "baud", "operation", "frames", "measured_ms", "limit_ms", "ratio");
}

void printRow(int baud, const Row &r)
{
    std::printf("%-7d %-10s %6d %12.1f %10.1f %6.2f\n", baud, r.operation, r.frames, r.measured * 1000, r.limit * 1000,
                r.measured / r.limit);
}

Row measure(const char *name, CountingRtuLink &link, int baud, double fixedSeconds,
            const std::function<void()> &operation, const std::function<void()> &between)
{
    std::vector<double> times;
    double limit = 0;
    int frames = 0;
    for (int run = 0; run < kRuns; ++run) {
        link.reset();
        QElapsedTimer t;
        t.start();
        operation();
        times.push_back(t.nsecsElapsed() / 1e9);
        limit = link.wireSeconds(baud) + fixedSeconds;
        frames = link.exchanges();
        if (between)
            between();
    }
    return {name, frames, median(times), limit};
}

Row fenceCost(CountingRtuLink &link, int baud)
{
    // The status block read alone, and read as a full read, which ends with
    // the fence: the difference is the fence.
    std::vector<double> alone, fenced;
    double limit = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        link.readAlone(regmap::kStatusBlock);
        alone.push_back(t.nsecsElapsed() / 1e9);
        link.reset();
        t.start();
        link.readFenced(regmap::kStatusBlock);
        fenced.push_back(t.nsecsElapsed() / 1e9);
        const double both = link.wireSeconds(baud);
        link.reset();
        link.readAlone(regmap::kStatusBlock);
        limit = both - link.wireSeconds(baud);
    }
    return {"fence", 1, median(fenced) - median(alone), limit};
}

bool measureLine(FormMain &form, CountingRtuLink &link, int baud, bool readBack, std::vector<Row> *rows)
{
    rows->push_back(measure("connect", link, baud, kProbePauseSeconds, [&] { form.cmdConnect->click(); },
                            [&] { form.ToggleConnection(); }));
    form.ToggleConnection();
    if (!form.bConnected) {
        std::fprintf(stderr, "alarmcfg-bench: no connection at %d baud\n", baud);
        return false;
    }
    rows->push_back(measure("write", link, baud, 0, [&] { form.WriteAllParameters(); }));
    rows->push_back(fenceCost(link, baud));
    if (readBack)
        rows->push_back(measure("read-back", link, baud, 0, [&] { form.ReadRelayCommands(); }));
    form.ToggleConnection();
    return true;
}

int benchOnPort(const QStringList &args)
{
    const int portAt = static_cast<int>(args.indexOf(QStringLiteral("--port")));
    const int baudAt = static_cast<int>(args.indexOf(QStringLiteral("--baud")));
    const QString port = portAt >= 0 ? args.value(portAt + 1) : QString();
    const int baud = baudAt >= 0 ? args.value(baudAt + 1).toInt() : LinkSettings::kDefaultBaud;
    if (port.isEmpty() || baud <= 0) {
        std::fprintf(stderr, "usage: alarmcfg-bench --port PORT [--baud N]\n");
        return 2;
    }
    CountingRtuLink link;
    LinkSettings settings = link.settings();
    settings.baud = baud;
    link.setSettings(settings);
    FormMain form(&link);
    form.InitializeWindow();
    if (const std::optional<int> n = ports::comNumber(port))
        form.cmbComSel->setCurrentIndex(*n - kFirstPort);
    else
        form.cmbComSel->setEditText(port);

    std::printf("alarmcfg-bench: the window on the RTU link on %s; median of %d runs\n\n", qPrintable(port), kRuns);
    printHeader();
    std::vector<Row> rows;
    if (!measureLine(form, link, baud, true, &rows))
        return 1;
    for (const Row &r : rows)
        printRow(baud, r);
    return 0;
}

} // namespace bench
