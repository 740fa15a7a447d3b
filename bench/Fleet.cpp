#include "Fleet.h"

#include "SimProcess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kRuns = 3;

// Median seconds of one read on n fresh simulators at once, through tcp://.
double readAtOnce(int n, const QTemporaryDir &home, bool *ok)
{
    std::vector<double> times;
    for (int run = 0; run < kRuns && *ok; ++run) {
        std::vector<std::unique_ptr<SimProcess>> sims;
        QStringList args{QStringLiteral("read"), QStringLiteral("-q"), QStringLiteral("-o"), QStringLiteral("/dev/null")};
        for (int i = 0; i < n; ++i) {
            sims.push_back(std::make_unique<SimProcess>(
                QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--baud"), QStringLiteral("9600")}));
            if (!sims.back()->start()) {
                *ok = false;
                return 0;
            }
            args << QStringLiteral("-p") << sims.back()->ptyPath();
        }
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        cli.setProcessEnvironment(env);
        QElapsedTimer t;
        t.start();
        cli.start(QStringLiteral(ALARMCFG_CLI_PATH), args);
        if (!cli.waitForFinished(120000) || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
            std::fprintf(stderr, "alarmcfg-bench: alarmcfg-cli read on %d controllers failed: %s\n", n,
                         cli.readAllStandardError().constData());
            *ok = false;
            return 0;
        }
        times.push_back(t.nsecsElapsed() / 1e9);
    }
    std::sort(times.begin(), times.end());
    return times.empty() ? 0 : times[times.size() / 2];
}

} // namespace

bool measureFleet()
{
    QTemporaryDir home;
    bool ok = true;
    std::printf("\na fleet: alarmcfg-cli read, each controller behind its own tcp:// port, 9600 baud, median of %d runs\n"
                "| controllers | measured | ratio to one |\n|---|---|---|\n",
                kRuns);
    double one = 0;
    for (const int n : {1, 8, 32}) {
        const double t = readAtOnce(n, home, &ok);
        if (!ok)
            return false;
        if (n == 1)
            one = t;
        std::printf("| %d | %.0f ms | %.2f |\n", n, t * 1000, t / one);
        std::fflush(stdout);
    }
    return true;
}
