#pragma once
// alarmcfg-cli sheet: the hand-over sheet of a configuration file, or of a
// device read as `read` reads it, saved as `read -o` saves.

#include "CliOptions.h"
#include "DeviceSession.h"
#include "Report.h"

#include <functional>
#include <optional>

namespace cli {

// Reads the one port's configuration into *device; the exit status of the
// port, which has reported its own failure.
using DeviceRead = std::function<int(std::optional<session::DeviceConfiguration> *device)>;

// The exit status of the command.
int runSheet(const Options &options, Report &report, const DeviceRead &readDevice);

} // namespace cli
