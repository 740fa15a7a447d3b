#pragma once
// alarmcfg-cli's words, in plain English.

#include "DeviceSession.h"
#include "Problem.h"

#include <QJsonObject>
#include <QString>

namespace cli {

// Why a port did not open, and what to do, as its class says (FailureClass.h).
QString openFailureText(const PortOpenFailure &failure);
// Why a request failed, as its class says: what the device did and what to
// do. The link's own words stay in the trace (--trace).
QString linkFailureText(const session::LinkProblem &problem);
// The line doctor's verdict as a sentence that says what to do, after its
// code: "no-answer: nothing came back ...".
QString doctorText(const doctor::Diagnosis &diagnosis);
// The same, and the evidence and every probe, for --json.
QJsonObject doctorJson(const QString &port, const doctor::Diagnosis &diagnosis);

// "parameters.relays[1].on: the command must be shorter than 20 bytes"
QString problemText(const params::Problem &problem);

// Standard output took no more data: a full disk, /dev/full, a closed pipe.
QString outputFailedText(const QString &systemText);
// Ctrl-C, and a port's thread did not end: the system holds it.
QString leftBehindText();
// -p '' on the command line.
QString emptyPortText();

// One JSON object on one line, for --json.
QString jsonLine(const QJsonObject &o);

// A register as four hex digits: "B6FE".
QString registerHex(quint16 value);

// Quotes a word for a POSIX shell, so that a printed command can be pasted.
QString shellQuoted(const QString &word);
// Quotes a word so that a Windows program's command line (CommandLineToArgvW,
// the C runtime) gives it back whole, typed in cmd.exe or PowerShell.
QString windowsQuoted(const QString &word);

} // namespace cli
