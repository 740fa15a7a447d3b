#include "CliText.h"

#include "ConfigFile.h"
#include "FailureClass.h"
#include "FieldTable.h"
#include "ReplyFrame.h"
#include "SafeFile.h"
#include "VisibleText.h"

#include <QJsonDocument>

#include <QRegularExpression>

namespace cli {

namespace {

// What to do, after the cause.
QString advice(failure::Remedy remedy)
{
    using failure::Remedy;
    switch (remedy) {
    case Remedy::None:
    case Remedy::EditEntry:
    case Remedy::FixFile: break;
    case Remedy::CheckConnection: return QStringLiteral("; check the cable, the port and the device's power");
    case Remedy::CheckWiring:
        return QStringLiteral("; check that A and B are not swapped, and the line for noise or an adapter that garbles");
    case Remedy::CheckOtherMasters:
        return QStringLiteral("; check for another master on the line, or an adapter that repeats frames");
    case Remedy::JoinDialoutGroup: return QStringLiteral("; add yourself to the dialout group and log in again");
    case Remedy::CloseOtherProgram:
        return QStringLiteral("; close it there (another copy of alarmcfg, a serial terminal) and try again");
    case Remedy::InstallAdapterDriver:
        return QStringLiteral("; install the USB serial adapter's driver from its vendor (CH340, PL2303, CP210x and FTDI "
                              "chips need one on older Windows), then plug the adapter in again");
    case Remedy::DisconnectOtherCopy: return QStringLiteral("; disconnect it there first");
    case Remedy::KeepModemProbesAway:
        return QStringLiteral("; ModemManager and brltty probe new USB serial ports (see the README for a udev rule that "
                              "keeps ModemManager away)");
    case Remedy::ClearLeftBehindMark:
        return QStringLiteral(". Unless one of them uses the port alone, a program that ended without clearing the mark "
                              "left it behind: it stays until every program has closed the port (close them, or unplug "
                              "the adapter and plug it in again)");
    }
    return QString();
}

QString openFailureCause(const PortOpenFailure &f)
{
    const QString device = f.device.isEmpty() ? f.port : f.device;
    switch (f.cause) {
    case PortOpenFailure::Cause::NotADevice: return QStringLiteral("%1 names no serial device").arg(f.port);
    case PortOpenFailure::Cause::NoDevice: return QStringLiteral("%1: no such device (unplugged?)").arg(device);
    case PortOpenFailure::Cause::NoPermission: return QStringLiteral("%1: no permission").arg(device);
    case PortOpenFailure::Cause::Busy: return QStringLiteral("%1: in use by another program").arg(device);
    case PortOpenFailure::Cause::NoDriver:
        return QStringLiteral("%1: the system knows the port, but no driver runs it (%2)").arg(device, f.systemText);
    case PortOpenFailure::Cause::LockedByAlarmcfg:
        return f.holders.isEmpty() ? QStringLiteral("%1: in use by another copy of alarmcfg").arg(device)
                                   : QStringLiteral("%1: in use by another copy of alarmcfg, %2")
                                         .arg(device, f.holders.join(QStringLiteral(", ")));
    case PortOpenFailure::Cause::MarkedExclusive:
        return QStringLiteral("%1: marked for one program's use (TIOCEXCL), but no copy of alarmcfg holds it; open in %2")
            .arg(device, f.holders.isEmpty() ? QStringLiteral("no program") : f.holders.join(QStringLiteral(", ")));
    case PortOpenFailure::Cause::NoSuchHost: return QStringLiteral("no such host: %1 (%2)").arg(device, f.systemText);
    case PortOpenFailure::Cause::Refused:
        return QStringLiteral("the server %1 refused the connection: nothing listens at that port").arg(device);
    case PortOpenFailure::Cause::Unreachable:
        return QStringLiteral("the server %1 cannot be reached: %2").arg(device, f.systemText);
    case PortOpenFailure::Cause::TimedOut:
        return QStringLiteral("no connection to the server %1: timed out (%2)").arg(device, f.systemText);
    case PortOpenFailure::Cause::ServerBusy:
        return QStringLiteral("the server %1 is busy: it serves one client at a time and turned this one away (%2); "
                              "disconnect the other client first").arg(device, f.systemText);
    case PortOpenFailure::Cause::Other: break;
    }
    return QStringLiteral("%1: %2").arg(device, f.systemText);
}

} // namespace

QString openFailureText(const PortOpenFailure &f)
{
    return openFailureCause(f) + advice(failure::classify(f).remedy);
}

QString linkFailureText(const session::LinkProblem &p)
{
    const failure::Class c = failure::classify(p);
    QString what;
    switch (c.did) {
    case failure::DeviceDid::Nothing: what = QStringLiteral("nothing came back"); break;
    case failure::DeviceDid::Refused:
        what = p.refusalCode ? QStringLiteral("the device refused it: %1").arg(frame::exceptionText(p.refusalCode))
                             : QStringLiteral("the device refused it");
        break;
    case failure::DeviceDid::Garbled: what = QStringLiteral("bytes came back, but no whole reply to the request"); break;
    case failure::DeviceDid::Unmatched:
        what = QStringLiteral("replies came back, but which request each answers could not be told");
        break;
    // The port's, the operator's or this program's own words.
    case failure::DeviceDid::Port:
    case failure::DeviceDid::NotAsked: what = p.error; break;
    }
    return what + advice(c.remedy);
}

QString jsonLine(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QString problemText(const params::Problem &p)
{
    using params::Problem;
    QString what;
    switch (p.kind) {
    case Problem::PasswordTooLong:
        what = QStringLiteral("the password may not be longer than %1 characters").arg(params::kMaxPasswordChars);
        break;
    case Problem::HoldsPasswordSeparator: what = QStringLiteral("may not hold \"*\""); break;
    case Problem::CommandTooLong:
        what = QStringLiteral("must be shorter than %1 bytes, password included").arg(params::kCommandBytesBelow);
        break;
    case Problem::SlotTextTooLong: what = QStringLiteral("may not be longer than %1 bytes").arg(params::kMaxSlotTextBytes); break;
    case Problem::PhoneNotANumber: what = QStringLiteral("\"%1\" is no number: only digits 0-9 and a leading \"+\"").arg(p.detail); break;
    case Problem::Unsendable: what = QStringLiteral("holds characters GBK cannot carry: %1").arg(visible::characters(p.detail)); break;
    case Problem::ActionTimeOutOfRange:
        what = QStringLiteral("%1 is outside %2..%3").arg(p.detail).arg(params::kRegisterMin).arg(params::kRegisterMax);
        break;
    case Problem::CannotRead: what = QStringLiteral("cannot be read: %1").arg(p.detail); break;
    case Problem::TooLarge: what = QStringLiteral("the file is larger than %1 MiB").arg(config::kMaxFileBytes / (1024 * 1024)); break;
    case Problem::NotJson: what = QStringLiteral("not JSON: %1").arg(p.detail); break;
    case Problem::NotAnObject: what = QStringLiteral("not a JSON object"); break;
    case Problem::WrongFormat: what = QStringLiteral("not an alarmcfg configuration (\"%1\")").arg(p.detail); break;
    case Problem::VersionMissing: what = QStringLiteral("missing"); break;
    case Problem::VersionTooNew:
        what = QStringLiteral("version %1 is newer than this program reads (%2)").arg(p.detail).arg(config::kVersion);
        break;
    case Problem::UnknownKey: what = QStringLiteral("unknown key"); break;
    case Problem::MissingKey: what = QStringLiteral("missing"); break;
    case Problem::WrongType: what = QStringLiteral("should be %1").arg(p.detail); break;
    case Problem::TooManyPhones: what = QStringLiteral("%1 numbers, at most %2").arg(p.detail).arg(params::kMaxPhones); break;
    case Problem::NotAFile:
        what = QStringLiteral("it is %1, not a regular file; not read").arg(safefile::kindName(static_cast<filekind::Kind>(p.index)));
        break;
    case Problem::DuplicateKey: what = QStringLiteral("the key is there more than once; which value is meant cannot be told"); break;
    }
    return p.field.isEmpty() ? what : p.field + QStringLiteral(": ") + what;
}

QString outputFailedText(const QString &systemText)
{
    return QStringLiteral("cannot write to standard output: %1").arg(systemText);
}

QString leftBehindText()
{
    return QStringLiteral("interrupted; the system still holds this port (an open or a close that does not return), "
                          "left as it is");
}

QString emptyPortText()
{
    return QStringLiteral("-p needs a port name: -p COM1, or -p /dev/ttyUSB0");
}

QString shellQuoted(const QString &word)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=+-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

QString windowsQuoted(const QString &word)
{
    static const QRegularExpression plain(QStringLiteral(R"(^[A-Za-z0-9_./:=+\\-]+$)"));
    if (plain.match(word).hasMatch())
        return word;
    // Backslashes are plain unless they come before a quote: there, and at
    // the end before the closing quote, each is doubled. (cmd.exe still
    // expands %NAME% inside quotes; no path the tool prints has one.)
    QString quoted = QStringLiteral("\"");
    int backslashes = 0;
    for (const QChar c : word) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            quoted += QString(2 * backslashes + 1, u'\\') + c;
        } else {
            quoted += QString(backslashes, u'\\') + c;
        }
        backslashes = 0;
    }
    quoted += QString(2 * backslashes, u'\\');
    return quoted + u'"';
}

QString registerHex(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace cli
