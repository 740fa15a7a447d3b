#include "Provisioning.h"

#include "ConfigFile.h"
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
constexpr int kMany = 4;

// Median seconds of write --verify --no-backup on n fresh simulators at once.
double provision(int n, const QString &file, const QTemporaryDir &home, bool *ok)
{
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        std::vector<std::unique_ptr<SimProcess>> sims;
        QStringList args{QStringLiteral("write"), file, QStringLiteral("--verify"), QStringLiteral("--no-backup"),
                         QStringLiteral("-q")};
        for (int i = 0; i < n; ++i) {
            sims.push_back(std::make_unique<SimProcess>(QStringList{QStringLiteral("--baud"), QStringLiteral("9600")}));
            if (!sims.back()->start()) {
                *ok = false;
                return 0;
            }
            args << QStringLiteral("-p") << sims.back()->ptyPath();
        }
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        cli.setProcessEnvironment(env);
        QElapsedTimer t;
        t.start();
        cli.start(QStringLiteral(ALARMCFG_CLI_PATH), args);
        if (!cli.waitForFinished(120000) || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
            std::fprintf(stderr, "alarmcfg-bench: alarmcfg-cli failed: %s\n", cli.readAllStandardError().constData());
            *ok = false;
            return 0;
        }
        times.push_back(t.nsecsElapsed() / 1e9);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

bool measureProvisioning()
{
    QTemporaryDir home;
    const QString file = home.filePath(QStringLiteral("site.json"));
    QString error;
    if (!config::writeFile(file, config::serialize(params::startUpSet(), QString(), QDateTime()), &error))
        return false;
    bool ok = true;
    const double one = provision(1, file, home, &ok);
    const double many = ok ? provision(kMany, file, home, &ok) : 0;
    if (!ok)
        return false;
    std::printf("\nparallel provisioning, alarmcfg-cli write --verify --no-backup at 9600 baud, median of %d runs:\n"
                "1 controller %.0f ms, %d controllers at once %.0f ms, ratio %.2f\n",
                kRuns, one * 1000, kMany, many * 1000, many / one);
    return true;
}
