#pragma once
// The window's connect, its write with no edit and its read-back, run through
// the device session on the RTU link, timed and set against the serial
// line's limit: for the frames that crossed the line, and for the frames the
// operation asks for itself, without the reads that prove repeated replies.

#include "LineBudget.h"

#include <QString>

namespace bench {

struct Row {
    const char *operation;
    int frames;
    double measured;   // seconds, the median of the runs
    double limit;      // seconds the line needs for the frames that crossed it
    double planLimit;  // seconds the line needs for the operation's own frames and its fence
};

constexpr int kRuns = 5;

// --port PORT [--baud N] [--label TEXT]: the rows on PORT, printed. The exit
// status of alarmcfg-bench.
int benchOnPort(const QStringList &args);

} // namespace bench
