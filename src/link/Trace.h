#pragma once
// The frame trace: one line for each frame, retry, confirmation and port
// decision, to stderr or to a file. $ALARMCFG_TRACE=1 traces to stderr; any
// other value (but 0) names a file that the lines are appended to, which is
// the way to trace a program that has no console.

#include <QString>

namespace trace {

bool enabledByEnvironment();

// "[HH:mm:ss.zzz] label KIND  text", written whole, so that the lines of
// links on several threads never mix.
void line(const QString &label, const char *kind, const QString &text);

} // namespace trace
