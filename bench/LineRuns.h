#pragma once
// The connect and the parameter write (and the read-back) of a window on the
// RTU link, timed and set against the serial line's limit. The same on every
// platform; alarmcfg-bench runs them against the simulator it starts itself
// (Linux) or on a port it is given (--port, also the Windows build's).

#include "LineBudget.h"

#include <functional>
#include <vector>

class FormMain;

namespace bench {

struct Row {
    const char *operation;
    int frames;
    double measured; // seconds, the median of the runs
    double limit;    // seconds the line needs for the same frames
};

constexpr int kRuns = 5;

void printHeader();
void printRow(int baud, const Row &row);

// Median time of an operation against the line's limit for its frames.
Row measure(const char *name, CountingRtuLink &link, int baud, double fixedSeconds,
            const std::function<void()> &operation, const std::function<void()> &between = {});

// What the fence behind a full read costs on a clean line: the time of a
// read with it less the time of the same read alone.
Row fenceCost(CountingRtuLink &link, int baud);

// Connect, write and, when asked, read back on a window that is not
// connected; false (with a message on stderr) when it does not connect.
bool measureLine(FormMain &form, CountingRtuLink &link, int baud, bool readBack, std::vector<Row> *rows);

// --port PORT [--baud N]: connect, write and read back on PORT (COM1..COM7,
// a device or a network port), printed next to the line limit. The exit
// status of alarmcfg-bench.
int benchOnPort(const QStringList &args);

} // namespace bench
