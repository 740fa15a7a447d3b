// Measures the window's connect, its write with no edit and its read-back
// through the device session on a port, against the serial line's limit.
// scripts/bench runs it against simulators, and the program figures beside.
//   alarmcfg-bench --port PORT [--baud N] [--label TEXT]
#include "LineRuns.h"

#include <QCoreApplication>
#include <QStandardPaths>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // each open looks up the ports: leave the real port map alone
    return bench::benchOnPort(app.arguments());
}
