#pragma once
// The commands of alarmcfg-cli, each run on every port given, in parallel:
// one thread and one link for each port.

#include "CliOptions.h"
#include "FailureClass.h"

namespace cli {

constexpr int kExitDone = 0;
constexpr int kExitDifferent = 1; // diff found differences, or --verify a mismatch
constexpr int kExitUsage = 2;     // bad usage or a refused file
constexpr int kExitDevice = 3;    // a port or a device failed

// Who failed decides the exit status: what the operator gave (a value, a
// file) is theirs to mend; the port, the line and the device are not.
constexpr int exitStatusFor(const failure::Class &c)
{
    return c.who == failure::Who::Entry || c.who == failure::Who::File ? kExitUsage : kExitDevice;
}

// status --watch ends after this many failed reads in a row (the help says so).
constexpr int kWatchFailuresInARow = 10;

// The worst exit status of all ports; kExitDevice at least when standard
// output failed.
int run(const Options &options);

// --help or --version: kExitDone, or kExitDevice when standard output failed.
int printText(const QString &text);

} // namespace cli
