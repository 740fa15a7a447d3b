// Measures the connect, the full parameter write and the read-back against
// the serial line's limit, the idle cost of the status poll, and resident
// memory while the inputs change on every poll, alarmcfg-cli provisioning
// one controller against several at once, and reading a fleet of controllers
// behind network ports.
//   alarmcfg-bench [--idle-seconds N]
//   alarmcfg-bench --port PORT [--baud N]   connect and write on a port only
//                                           (a network port too: tcp://, rfc2217://)
//   alarmcfg-bench --fleet                  the fleet behind network ports only
#include "Fleet.h"
#include "FormMain.h"
#include "LineBudget.h"
#include "LineRuns.h"
#include "Provisioning.h"
#include "RegisterMap.h"
#include "SimProcess.h"
#include "WindowTimer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QStandardPaths>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// Resident memory over polls that each see the inputs changed, on a shown
// window so that the state buttons are really repainted. The inputs are
// flipped by writing register 4 through the same link between two polls.
bool changingInputs()
{
    constexpr int kPolls = 3600;
    SimProcess sim;
    if (!sim.start())
        return false;
    qputenv("ALARMCFG_COM1", sim.ptyPath().toLocal8Bit());
    CountingRtuLink link;
    FormMain form(&link);
    form.InitializeWindow();
    form.show();
    form.ToggleConnection();
    if (!form.bConnected) {
        std::fprintf(stderr, "alarmcfg-bench: no connection for the memory run\n");
        return false;
    }
    form.Timer1->setEnabled(false); // the loop below polls, once per change
    auto pollWithChangedInputs = [&](int i) {
        link.WriteRegister(1, regmap::kStatusBlock.start + regmap::kInputsOffset, static_cast<quint16>(i % 4));
        form.Timer1->setEnabled(false);
        form.PollStatus();
        QCoreApplication::processEvents(); // paints the buttons
    };
    for (int i = 0; i < 100; ++i) // warm-up: fonts, style and first paints
        pollWithChangedInputs(i);
    const double beforeMiB = residentMiB();
    for (int i = 0; i < kPolls; ++i)
        pollWithChangedInputs(i);
    const double afterMiB = residentMiB();
    std::printf("resident memory with the inputs changing on every poll: %.1f MiB before and %.1f MiB after %d polls "
                "(%+.2f MiB)\n", beforeMiB, afterMiB, kPolls, afterMiB - beforeMiB);
    form.ToggleConnection();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // each connect looks up the ports: leave the real port map alone
    int idleSeconds = 30;
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--idle-seconds"))
        idleSeconds = std::max(1, args[2].toInt());

    FormMain::setMessageHook([](const QString &) {}); // every box answered at once
    if (args.contains(QStringLiteral("--port")))
        return bench::benchOnPort(args);
    if (args.contains(QStringLiteral("--fleet")))
        return measureFleet() ? 0 : 1;
    std::printf("alarmcfg-bench: the window on the RTU link, alarmcfg-sim emulating the line; median of %d runs\n\n",
                bench::kRuns);
    bench::printHeader();

    for (int baud : {9600, 115200}) {
        SimProcess sim({QStringLiteral("--baud"), QString::number(baud)});
        if (!sim.start()) {
            std::fprintf(stderr, "alarmcfg-bench: the simulator did not start\n");
            return 1;
        }
        qputenv("ALARMCFG_COM1", sim.ptyPath().toLocal8Bit());
        CountingRtuLink link;
        FormMain form(&link);
        form.InitializeWindow();

        std::vector<bench::Row> rows;
        if (!bench::measureLine(form, link, baud, true, &rows))
            return 1;
        for (const bench::Row &r : rows)
            bench::printRow(baud, r);
    }

    // Idle: connected, only the status poll running, at the slower line.
    SimProcess sim({QStringLiteral("--baud"), QStringLiteral("9600")});
    if (!sim.start())
        return 1;
    qputenv("ALARMCFG_COM1", sim.ptyPath().toLocal8Bit());
    CountingRtuLink link;
    FormMain form(&link);
    form.InitializeWindow();
    const double startupMiB = residentMiB();
    form.ToggleConnection();
    const double cpuBefore = cpuSeconds();
    link.reset();
    // A plain event loop: the harness itself must not wake up between polls.
    QEventLoop idle;
    QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
    idle.exec();
    const double cpu = cpuSeconds() - cpuBefore;
    const int polls = link.exchanges();

    const double beforePollsMiB = residentMiB();
    for (int i = 0; i < 600; ++i) {
        form.PollStatus();
        QCoreApplication::processEvents();
    }
    const double afterPollsMiB = residentMiB();

    std::printf("\nidle, connected at 9600 baud for %d s (%d polls): %.3f s CPU per minute = %.2f%% of a core\n",
                idleSeconds, polls, cpu * 60.0 / idleSeconds, 100.0 * cpu / idleSeconds);
    std::printf("resident memory: %.1f MiB after start-up, %.1f MiB before and %.1f MiB after 600 polls (%+.2f MiB)\n",
                startupMiB, beforePollsMiB, afterPollsMiB, afterPollsMiB - beforePollsMiB);
    form.ToggleConnection();

    return changingInputs() && measureProvisioning() && measureFleet() ? 0 : 1;
}
