#pragma once
// alarmcfg-cli ports: COM1..COM7 with the device behind each and the rule
// that chose it, and every serial device present.

#include "CliOptions.h"
#include "Report.h"

namespace cli {

int listPorts(const Options &o, Report &report);

} // namespace cli
