#pragma once
// The terminal alarmcfg-cli runs in, where the platforms differ: how Ctrl-C
// reaches it, how its output is encoded and how a printed command is quoted.
// Console_posix.cpp and Console_win.cpp, chosen by the build.

#include <QString>

namespace cli {

// Ctrl-C (and SIGTERM, or closing the console window) sets a flag that the
// port threads look at between two exchanges, so that an exchange in flight
// always ends whole; a write to a closed pipe fails instead of ending the
// program; and the console is made to show UTF-8.
void setUpConsole();
bool interrupted();
// The longest a wait goes without looking at interrupted().
constexpr int kInterruptLookMs = 50;

// The hand-over sheet's PDF is drawn by Qt's GUI, and alarmcfg-cli needs no
// display: picks the platform that draws without one, before the application starts.
void chooseHeadlessGraphics();

// A word quoted for this platform's shell, so that a printed command can be pasted.
QString commandWord(const QString &word);

} // namespace cli
