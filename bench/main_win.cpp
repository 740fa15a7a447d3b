// alarmcfg-bench on Windows: the line runs on a port it is given, since the
// simulator and the process figures the full benchmark uses are Linux's.
//   alarmcfg-bench --port COM1 [--baud N]
#include "FormMain.h"
#include "LineRuns.h"

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    FormMain::setMessageHook([](const QString &) {}); // every box answered at once
    return bench::benchOnPort(app.arguments());
}
