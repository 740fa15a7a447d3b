#pragma once
// alarmcfg-cli's words, in plain English.

#include "ModbusLink.h"
#include "Problem.h"

#include <QJsonObject>
#include <QString>

namespace cli {

QString openFailureText(const PortOpenFailure &failure);
// Why the link's last request failed, saying who failed: a refusal is the
// device's answer, silence is the line's or the device's power.
QString linkFailureText(LinkFailure failure, const QString &error);
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
