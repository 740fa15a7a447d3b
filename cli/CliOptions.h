#pragma once
// The command line of alarmcfg-cli.

#include "LinkSettings.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace cli {

enum class Command { Ports, Status, Read, Write, Diff, Relay, Factory, Restore, Sheet, Doctor };

struct Options {
    Command command = Command::Ports;
    QStringList ports;      // COM1..COM7 or device paths, in the order given
    int baud = LinkSettings::kDefaultBaud;
    int timeoutMs = LinkSettings::kDefaultResponseTimeoutMs; // for each attempt of a request
    int retries = LinkSettings::kDefaultAttempts - 1; // further attempts of a failed exchange
    bool trace = false;
    bool json = false;
    bool quiet = false;
    bool watch = false;     // status
    QString output;         // read, sheet: -o FILE
    QString file;           // write, diff, sheet: the configuration; restore: the backup
    bool verify = false;    // write
    bool dryRun = false;    // write
    bool noBackup = false;  // write, factory
    bool force = false;     // restore: a backup of other firmware than the device's
    int relay = -1;         // relay: 0 for Q0, 1 for Q1
    bool relayOn = false;
    QString site;           // sheet: --site
    QString sim;            // sheet: --sim
};

struct ParsedLine {
    std::optional<Options> options; // empty on bad usage and for --help or --version
    QString error;                  // why the usage is bad
    QString text;                   // the help or version text to print
};

ParsedLine parseCommandLine(const QStringList &arguments);

// True when the arguments ask for a hand-over sheet, whose PDF needs a
// QGuiApplication; every other command runs on a QCoreApplication.
bool makesASheet(const QStringList &arguments);

} // namespace cli
