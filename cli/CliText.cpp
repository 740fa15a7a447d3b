#include "CliText.h"

#include "ConfigFile.h"
#include "FailureClass.h"
#include "FieldTable.h"
#include "ReplyFrame.h"
#include "SafeFile.h"
#include "VisibleText.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <QRegularExpression>

#include <algorithm>

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

namespace {

QString registersText(const doctor::Refused &r)
{
    const QString registers = r.count == 1 ? QStringLiteral("register %1").arg(r.start)
                                           : QStringLiteral("registers %1-%2").arg(r.start).arg(r.start + r.count - 1);
    return r.code ? QStringLiteral("%1 (%2)").arg(registers, frame::exceptionText(r.code))
                  : QStringLiteral("%1 (no answer)").arg(registers);
}

QString errorsText(const std::optional<LineErrors> &e)
{
    if (!e || !e->any())
        return QString();
    return QStringLiteral(" The port counted %1 framing errors, %2 parity errors and %3 breaks.")
        .arg(e->framing)
        .arg(e->parity)
        .arg(e->breaks);
}

// What the scans covered, for a verdict of nothing found.
QString scansText(const doctor::Evidence &e)
{
    QString speeds;
    switch (e.speedScan) {
    case doctor::Scan::Skipped:
        speeds = QStringLiteral("at %1 only: a tcp:// port cannot change the speed of the server's serial line (set it "
                                "at the server, or use rfc2217:// if the server speaks it)")
                     .arg(e.tried.text());
        break;
    case doctor::Scan::Stopped:
        speeds = QStringLiteral("at %1 and %2 other speeds before the scan stopped").arg(e.tried.text()).arg(e.speedsTried);
        break;
    default: speeds = QStringLiteral("at 1200 to 115200 baud with parity N, E and O"); break;
    }
    const QString slaves = e.addressScan == doctor::Scan::Stopped
                               ? QStringLiteral("slaves 1 to %1 before the scan stopped").arg(1 + e.addressesTried)
                               : QStringLiteral("slaves 1 to %1").arg(doctor::kLastSlave);
    return QStringLiteral("%1, %2").arg(speeds, slaves);
}

QString portsText(const doctor::Diagnosis &d)
{
    if (d.ports.isEmpty())
        return QString();
    QString text = QStringLiteral(" Serial ports on this system: %1").arg(d.ports.join(QStringLiteral(", ")));
    if (!d.newestPort.isEmpty())
        text += QStringLiteral("; the last to appear: %1").arg(d.newestPort);
    return text + u'.';
}

QString otherSpeedText(const doctor::Evidence &e)
{
    const LineFormat &f = *e.answeredFormat;
    if (f.parity != Parity::None)
        return QStringLiteral("the controller answers at %1, with parity, and this tool talks 8N1 only: set the "
                              "controller to %2 baud, 8 data bits, no parity, 1 stop bit")
            .arg(f.text())
            .arg(e.tried.baud);
    return QStringLiteral("the controller answers at %1, not at %2: set it back to %2, or use its speed: "
                          "alarmcfg-cli -b %3 (ALARMCFG_BAUD=%3 for the window)")
        .arg(f.text(), e.tried.text())
        .arg(f.baud);
}

QString notThisDeviceText(const doctor::Evidence &e)
{
    QStringList what;
    if (e.otherLayout)
        what << QStringLiteral("its status block holds what this controller never holds");
    QStringList refused;
    for (const doctor::Refused &r : e.refused)
        refused << registersText(r);
    if (!refused.isEmpty())
        what << QStringLiteral("it did not give %1").arg(refused.join(QStringLiteral(", ")));
    return QStringLiteral("a Modbus device answers as slave 1, but %1: it is not this alarm controller. Check that this "
                          "port leads to the alarm controller")
        .arg(what.join(QStringLiteral(", and ")));
}

QString strayText(const doctor::Evidence &e)
{
    QStringList what;
    if (e.breakBytes)
        what << QStringLiteral("a break (%1 bytes 0x00)").arg(e.breakBytes);
    if (e.inverted)
        what << QStringLiteral("the requests inverted");
    if (e.garbledBytes)
        what << QStringLiteral("%1 bytes that are no Modbus frame").arg(e.garbledBytes);
    return what.join(QStringLiteral(" and "));
}

QString verdictSentence(const doctor::Diagnosis &d)
{
    const doctor::Evidence &e = d.evidence;
    switch (d.verdict) {
    case doctor::Verdict::Healthy:
        return QStringLiteral("the controller answers: firmware %1; %2 of %3 status reads answered, in %4 ms on average "
                              "(%5 ms at the slowest), at %6 as slave 1")
            .arg(e.firmware)
            .arg(e.statusAnswered)
            .arg(e.statusReads)
            .arg(e.replyMs, 0, 'f', 1)
            .arg(e.slowestMs, 0, 'f', 1)
            .arg(e.tried.text());
    case doctor::Verdict::Port: return d.openFailure ? openFailureText(*d.openFailure) : QString();
    case doctor::Verdict::NoAnswer:
        return (d.settled ? QStringLiteral("nothing came back, %1. ").arg(scansText(e))
                          : QStringLiteral("nothing came back from slave 1 at %1; other speeds and addresses were not "
                                           "tried. ").arg(e.tried.text()))
               + QStringLiteral("Check the controller's power, the cable, the adapter's A and B terminals, and that this "
                                "is the controller's port.")
               + portsText(d);
    case doctor::Verdict::EchoOnly:
        return QStringLiteral("only the tool's own requests came back: the adapter works and hears itself, but no "
                              "controller answers behind it. Check the controller's power, and the two wires from the "
                              "adapter's A and B to the controller's A and B.");
    case doctor::Verdict::LinesSwapped:
        return QStringLiteral("only %1 came back, and no reply %2: A and B are probably swapped; swap the two wires.%3")
                   .arg(strayText(e), d.settled ? scansText(e) : QStringLiteral("at %1 (other speeds and addresses were "
                                                                                "not tried)").arg(e.tried.text()),
                        errorsText(e.lineErrors))
               + portsText(d);
    case doctor::Verdict::OtherSpeed: return otherSpeedText(e) + u'.';
    case doctor::Verdict::OtherAddress:
        return QStringLiteral("a device answers at slave address %1 (at %2), not at 1: this tool talks to slave 1 only, "
                              "as the controller expects; set the controller's address back to 1.")
            .arg(e.answeredSlave)
            .arg(e.addressFormat.text());
    case doctor::Verdict::NotThisDevice: return notThisDeviceText(e) + u'.';
    case doctor::Verdict::AnotherMaster: {
        QStringList slaves;
        for (const int s : e.slavesHeard)
            slaves << QString::number(s);
        const double seconds = std::max(1, e.listenMs) / 1000.0;
        return QStringLiteral("%1 frames the tool did not ask for passed in %2 s while it was silent (about %3 a "
                              "second, of slave %4): another master polls this line. Stop it, or disconnect it while "
                              "you configure the controller.")
            .arg(e.framesHeard)
            .arg(seconds, 0, 'f', 1)
            .arg(qRound(e.framesHeard / seconds))
            .arg(slaves.join(QStringLiteral(", ")));
    }
    case doctor::Verdict::Intermittent: {
        const int lost = e.statusReads - e.statusAnswered;
        return QStringLiteral("the controller answers, but %1 of %2 status reads were lost (%3%): fit the 120-ohm "
                              "termination at both ends of the line and its bias resistors, and check the cable; with a "
                              "USB adapter, lower its latency timer (Linux: echo 1 > "
                              "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer; Windows: Device Manager, the port, "
                              "Properties, Port Settings, Advanced, Latency Timer 1 ms).")
            .arg(lost)
            .arg(e.statusReads)
            .arg(qRound(100.0 * lost / std::max(1, e.statusReads)));
    }
    case doctor::Verdict::SlowReply:
        return QStringLiteral("the controller answers, but %1 ms after the request, later than the %2 ms the tool waits: "
                              "give it more time with alarmcfg-cli --timeout %3 (the window waits %4 ms), or find what "
                              "holds the reply back (a USB adapter's latency timer, a slow converter or server).")
            .arg(qRound(e.lateReplyMs))
            .arg(e.timeoutMs)
            .arg((qRound(e.lateReplyMs) / 100 + 2) * 100)
            .arg(LinkSettings::kDefaultResponseTimeoutMs);
    }
    return QString();
}

QJsonObject formatJson(const LineFormat &f)
{
    return QJsonObject{{"baud", f.baud},
                       {"parity", f.parity == Parity::Even ? "E" : f.parity == Parity::Odd ? "O" : "N"},
                       {"text", f.text()}};
}

QJsonObject errorsJson(const LineErrors &e)
{
    return QJsonObject{{"framing", double(e.framing)}, {"parity", double(e.parity)}, {"breaks", double(e.breaks)}};
}

QJsonObject evidenceJson(const doctor::Diagnosis &d)
{
    const doctor::Evidence &e = d.evidence;
    QJsonArray slaves, refused;
    for (const int s : e.slavesHeard)
        slaves.append(s);
    for (const doctor::Refused &r : e.refused)
        refused.append(QJsonObject{{"start", r.start}, {"count", r.count}, {"exception", r.code}});
    QJsonObject o{{"tried", formatJson(e.tried)},
                  {"listenMs", e.listenMs},
                  {"framesHeard", e.framesHeard},
                  {"slavesHeard", slaves},
                  {"bytesHeard", e.bytesHeard},
                  {"echo", e.echo},
                  {"breakBytes", e.breakBytes},
                  {"inverted", e.inverted},
                  {"garbledBytes", e.garbledBytes},
                  {"answered", e.answered},
                  {"timeoutMs", e.timeoutMs},
                  {"lateReplyMs", e.lateReplyMs},
                  {"firmware", e.firmware},
                  {"otherLayout", e.otherLayout},
                  {"refused", refused},
                  {"statusReads", e.statusReads},
                  {"statusAnswered", e.statusAnswered},
                  {"replyMs", e.replyMs},
                  {"slowestMs", e.slowestMs},
                  {"speedScan", doctor::scanName(e.speedScan)},
                  {"speedsTried", e.speedsTried},
                  {"addressScan", doctor::scanName(e.addressScan)},
                  {"addressFormat", formatJson(e.addressFormat)},
                  {"addressesTried", e.addressesTried},
                  {"answeredSlave", e.answeredSlave},
                  {"ports", QJsonArray::fromStringList(d.ports)},
                  {"newestPort", d.newestPort}};
    o.insert(QStringLiteral("answeredFormat"), e.answeredFormat ? QJsonValue(formatJson(*e.answeredFormat)) : QJsonValue());
    o.insert(QStringLiteral("lineErrors"), e.lineErrors ? QJsonValue(errorsJson(*e.lineErrors)) : QJsonValue());
    if (d.openFailure)
        o.insert(QStringLiteral("port"), openFailureText(*d.openFailure));
    return o;
}

QJsonObject probeJson(const doctor::Probe &p)
{
    QJsonArray heard;
    for (const HeardBytes &h : p.heard)
        heard.append(QJsonObject{{"atMs", h.atUs / 1000.0}, {"hex", frame::hex(h.bytes)}});
    QJsonObject o{{"kind", doctor::probeKindName(p.kind)},
                  {"format", p.format.text()},
                  {"waitedMs", p.waitedUs / 1000.0},
                  {"heard", heard}};
    if (p.kind != doctor::Probe::Kind::Listen) {
        o.insert(QStringLiteral("slave"), p.slave);
        o.insert(QStringLiteral("start"), p.start);
        o.insert(QStringLiteral("count"), p.count);
        o.insert(QStringLiteral("sent"), frame::hex(p.sent));
    }
    if (p.errors)
        o.insert(QStringLiteral("errors"), errorsJson(*p.errors));
    return o;
}

} // namespace

QString doctorText(const doctor::Diagnosis &d)
{
    return doctor::verdictCode(d.verdict) + QStringLiteral(": ") + verdictSentence(d);
}

QJsonObject doctorJson(const QString &port, const doctor::Diagnosis &d)
{
    QJsonArray probes;
    for (const doctor::Probe &p : d.probes)
        probes.append(probeJson(p));
    return QJsonObject{{"port", port},
                       {"verdict", doctor::verdictCode(d.verdict)},
                       {"settled", d.settled},
                       {"text", verdictSentence(d)},
                       {"ms", double(d.ms)},
                       {"evidence", evidenceJson(d)},
                       {"probes", probes}};
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
