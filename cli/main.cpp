// alarmcfg-cli: back up, provision, verify and watch alarm controllers from a terminal.
#include "Commands.h"
#include "CliOptions.h"
#include "Console.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The same folders as the window: backups in ~/.local/share/alarmcfg,
    // on Windows in %LOCALAPPDATA%\alarmcfg.
    QCoreApplication::setApplicationName(QStringLiteral("alarmcfg"));
    cli::setUpConsole();
    const cli::ParsedLine parsed = cli::parseCommandLine(QCoreApplication::arguments());
    if (!parsed.options && parsed.error.isEmpty())
        return cli::printText(parsed.text);
    if (!parsed.options) {
        std::fprintf(stderr, "alarmcfg-cli: %s\n", parsed.error.toUtf8().constData());
        return cli::kExitUsage;
    }
    return cli::run(*parsed.options);
}
