// alarmcfg-cli: back up, provision, verify and watch alarm controllers from a terminal.
#include "Commands.h"
#include "CliOptions.h"
#include "Console.h"
#include "Language.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace {

// The arguments before there is an application to decode them: enough to
// tell which command is asked for, whose words are ASCII.
QStringList rawArguments(int argc, char *argv[])
{
    QStringList out;
    for (int i = 0; i < argc; ++i)
        out << QString::fromLocal8Bit(argv[i]);
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    cli::setUpConsole();
    // Only the hand-over sheet draws; every other command runs without Qt's GUI.
    std::unique_ptr<QCoreApplication> app;
    if (cli::makesASheet(rawArguments(argc, argv))) {
        cli::chooseHeadlessGraphics();
        app = std::make_unique<QGuiApplication>(argc, argv);
        // The sheet is for the site's owner, in the window's language; the
        // command line's own words stay English.
        language::install(*app, language::chosen());
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    // The same folders as the window: backups in ~/.local/share/alarmcfg,
    // on Windows in %LOCALAPPDATA%\alarmcfg.
    QCoreApplication::setApplicationName(QStringLiteral("alarmcfg"));
    const cli::ParsedLine parsed = cli::parseCommandLine(QCoreApplication::arguments());
    if (!parsed.options && parsed.error.isEmpty())
        return cli::printText(parsed.text);
    if (!parsed.options) {
        std::fprintf(stderr, "alarmcfg-cli: %s\n", parsed.error.toUtf8().constData());
        return cli::kExitUsage;
    }
    return cli::run(*parsed.options);
}
