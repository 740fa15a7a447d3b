#include "Options.h"

#include "TcpListener.h"

#include <cmath>
#include <limits>

namespace sim {

namespace {

bool toInt(const QString &text, long min, long max, long *out)
{
    bool ok = false;
    const long value = text.toLong(&ok);
    if (!ok || value < min || value > max)
        return false;
    *out = value;
    return true;
}

// "silent", "slave:5", "speed:19200", "flaky:0.3", ...
std::optional<Options::Line> parseLine(const QString &text)
{
    using Kind = Options::Line::Kind;
    const QString kind = text.section(u':', 0, 0);
    const QString value = text.section(u':', 1);
    const bool valued = text.contains(u':');
    Options::Line line;
    long n = 0;
    if (!valued) {
        const std::pair<const char *, Kind> plain[] = {{"silent", Kind::Silent},   {"echo-only", Kind::EchoOnly},
                                                       {"swapped", Kind::Swapped}, {"foreign", Kind::Foreign},
                                                       {"chatter", Kind::Chatter}};
        for (const auto &[name, k] : plain)
            if (kind == QLatin1String(name)) {
                line.kind = k;
                return line;
            }
    } else if (kind == QLatin1String("slave") && toInt(value, 2, 247, &n)) {
        line.kind = Kind::Slave;
        line.slave = static_cast<int>(n);
        return line;
    } else if (kind == QLatin1String("speed") && toInt(value, 1, 10'000'000, &n)) {
        line.kind = Kind::Speed;
        line.baud = static_cast<int>(n);
        return line;
    } else if (kind == QLatin1String("flaky")) {
        bool ok = false;
        const double share = value.toDouble(&ok);
        if (ok && share > 0 && share < 1) {
            line.kind = Kind::Flaky;
            line.share = share;
            return line;
        }
    }
    return std::nullopt;
}

} // namespace

ParseResult parseOptions(const QStringList &args)
{
    ParseResult result;
    Options opts;
    auto fail = [&result](const QString &message) {
        result.error = message;
        return result;
    };

    for (int i = 0; i < args.size(); ++i) {
        QString name = args[i];
        std::optional<QString> inlineValue;
        if (name.startsWith(QLatin1String("--"))) {
            const qsizetype eq = name.indexOf(u'=');
            if (eq > 0) {
                inlineValue = name.mid(eq + 1);
                name.truncate(eq);
            }
        }

        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            opts.help = true;
            continue;
        }
        if (name == QLatin1String("--silent") || name == QLatin1String("--echo")) {
            if (inlineValue)
                return fail(QStringLiteral("%1 takes no value").arg(name));
            (name == QLatin1String("--silent") ? opts.silent : opts.echo) = true;
            continue;
        }
        if (name == QLatin1String("--strict")) {
            if (inlineValue && *inlineValue != QLatin1String("silent"))
                return fail(QStringLiteral("--strict takes no value but 'silent', not '%1'").arg(*inlineValue));
            opts.strict = inlineValue ? Options::Strict::Ignore : Options::Strict::Refuse;
            continue;
        }

        // Every other option takes one value, inline or as the next argument.
        QString value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (name.startsWith(QLatin1String("--")) && i + 1 < args.size()) {
            value = args[++i];
        } else if (name.startsWith(QLatin1String("--"))) {
            return fail(QStringLiteral("%1 needs a value").arg(name));
        }

        long n = 0;
        if (name == QLatin1String("--baud")) {
            if (!toInt(value, 1, 10'000'000, &n))
                return fail(QStringLiteral("--baud wants a positive bit rate, not '%1'").arg(value));
            opts.baud = static_cast<int>(n);
        } else if (name == QLatin1String("--delay")) {
            if (!toInt(value, 0, 3'600'000, &n))
                return fail(QStringLiteral("--delay wants milliseconds >= 0, not '%1'").arg(value));
            opts.delayMs = static_cast<int>(n);
        } else if (name == QLatin1String("--inputs-toggle")) {
            bool ok = false;
            const double s = value.toDouble(&ok);
            if (!ok || !std::isfinite(s) || s < 0.001 || s > 86400)
                return fail(QStringLiteral("--inputs-toggle wants seconds > 0, not '%1'").arg(value));
            opts.inputsToggleSec = s;
        } else if (name == QLatin1String("--stop-after")) {
            if (!toInt(value, 0, std::numeric_limits<int>::max(), &n))
                return fail(QStringLiteral("--stop-after wants a count >= 0, not '%1'").arg(value));
            opts.stopAfter = n;
        } else if (name == QLatin1String("--exception-on")) {
            if (!toInt(value, 0, 0xFFFF, &n))
                return fail(QStringLiteral("--exception-on wants a register address 0..65535, not '%1'").arg(value));
            opts.exceptionAddresses.push_back(static_cast<int>(n));
        } else if (name == QLatin1String("--corrupt-every")) {
            if (!toInt(value, 1, std::numeric_limits<int>::max(), &n))
                return fail(QStringLiteral("--corrupt-every wants a count >= 1, not '%1'").arg(value));
            opts.corruptEvery = static_cast<int>(n);
        } else if (name == QLatin1String("--drop-writes-to")) {
            if (!toInt(value, 0, 0xFFFF, &n))
                return fail(QStringLiteral("--drop-writes-to wants a register address 0..65535, not '%1'").arg(value));
            opts.dropWriteAddresses.push_back(static_cast<int>(n));
        } else if (name == QLatin1String("--duplicate-reply")) {
            const QStringList parts = value.split(u':');
            long reply = 0, ms = 0;
            if (parts.size() > 2 || !toInt(parts[0], 1, std::numeric_limits<int>::max(), &reply)
                || (parts.size() == 2 && !toInt(parts[1], 0, 3'600'000, &ms)))
                return fail(QStringLiteral("--duplicate-reply wants N or N:MS, a reply number >= 1 and milliseconds >= 0, "
                                           "not '%1'").arg(value));
            opts.duplicateReplies.push_back({reply, static_cast<int>(ms)});
        } else if (name == QLatin1String("--lose-reply")) {
            if (!toInt(value, 1, std::numeric_limits<int>::max(), &n))
                return fail(QStringLiteral("--lose-reply wants a reply number >= 1, not '%1'").arg(value));
            opts.lostReplies.push_back(n);
        } else if (name == QLatin1String("--miss-request") || name == QLatin1String("--corrupt-reply")
                   || name == QLatin1String("--trailing") || name == QLatin1String("--stray")
                   || name == QLatin1String("--echo-from")) {
            if (!toInt(value, 1, std::numeric_limits<int>::max(), &n))
                return fail(QStringLiteral("%1 wants a request number >= 1, not '%2'").arg(name, value));
            if (name == QLatin1String("--echo-from"))
                opts.echoFrom = n;
            else
                (name == QLatin1String("--miss-request")  ? opts.missedRequests
                 : name == QLatin1String("--corrupt-reply") ? opts.corruptReplies
                 : name == QLatin1String("--trailing")      ? opts.trailingReplies
                                                            : opts.strayBefore)
                    .push_back(n);
        } else if (name == QLatin1String("--silence-at-write")) {
            const QStringList parts = value.split(u':');
            long write = 0, ms = 0;
            if (parts.size() != 2 || !toInt(parts[0], 1, std::numeric_limits<int>::max(), &write)
                || !toInt(parts[1], 1, 3'600'000, &ms))
                return fail(QStringLiteral("--silence-at-write wants K:MS, a write number >= 1 and milliseconds > 0, "
                                           "not '%1'").arg(value));
            opts.silenceAtWrite = Options::Silence{write, static_cast<int>(ms)};
        } else if (name == QLatin1String("--late")) {
            const QStringList parts = value.split(u':');
            long reply = 0, ms = 0;
            if (parts.size() != 2 || !toInt(parts[0], 1, std::numeric_limits<int>::max(), &reply)
                || !toInt(parts[1], 0, 3'600'000, &ms))
                return fail(QStringLiteral("--late wants N:MS, a reply number >= 1 and milliseconds >= 0, not '%1'").arg(value));
            opts.lateReplies.push_back({reply, static_cast<int>(ms)});
        } else if (name == QLatin1String("--line")) {
            const std::optional<Options::Line> line = parseLine(value);
            if (!line)
                return fail(QStringLiteral("--line wants silent, echo-only, slave:N (2..247), speed:BAUD, swapped, "
                                           "foreign, chatter or flaky:SHARE (between 0 and 1), not '%1'").arg(value));
            opts.line = *line;
        } else if (name == QLatin1String("--tcp")) {
            QString host, problem;
            int port = 0;
            if (!parseLoopback(value, &host, &port, &problem))
                return fail(problem);
            opts.tcpAddress = value;
        } else if (name == QLatin1String("--image") || name == QLatin1String("--dump")
                   || name == QLatin1String("--link") || name == QLatin1String("--count")
                   || name == QLatin1String("--log")) {
            if (value.isEmpty())
                return fail(QStringLiteral("%1 wants a file name").arg(name));
            if (name == QLatin1String("--image"))
                opts.imagePath = value;
            else if (name == QLatin1String("--dump"))
                opts.dumpPath = value;
            else if (name == QLatin1String("--count"))
                opts.countPath = value;
            else if (name == QLatin1String("--log"))
                opts.logPath = value;
            else
                opts.linkPath = value;
        } else {
            return fail(QStringLiteral("unknown option '%1'").arg(args[i]));
        }
    }
    if (!opts.tcpAddress.isEmpty() && !opts.linkPath.isEmpty())
        return fail(QStringLiteral("--link names a pseudo-terminal, and with --tcp there is none"));
    if (!opts.tcpAddress.isEmpty() && opts.line.kind == Options::Line::Kind::Speed)
        return fail(QStringLiteral("--line speed:BAUD looks at the pseudo-terminal's rate, and with --tcp there is none"));
    result.options = opts;
    return result;
}

QString usageText(const QString &program)
{
    return QStringLiteral(
               "usage: %1 [options]\n"
               "Serves the alarm controller's registers 0..1099 as Modbus RTU slave 1 on a new\n"
               "pseudo-terminal; its path is the first line on stdout. With --tcp it serves RTU\n"
               "over TCP instead, and the first line is the port to open, tcp://HOST:PORT.\n"
               "\n"
               "Options:\n"
               "  --link PATH          also make the symlink PATH to the terminal\n"
               "  --tcp HOST:PORT      serve RTU over TCP on a loopback address, one client at a\n"
               "                       time, as a serial device server in raw mode does; port 0\n"
               "                       takes a free one. The fault options apply as on the pty\n"
               "  --image FILE         load the registers from FILE (JSON array of 1100 integers)\n"
               "  --dump FILE          write the registers to FILE on SIGUSR1 and at exit\n"
               "  --count FILE         write the number of requests received to FILE, before each dump\n"
               "  --log FILE           write every request heard to FILE, one frame in hex a line,\n"
               "                       before each dump\n"
               "  --baud N             delay each reply by the wire time of request and reply at N baud\n"
               "  --delay MS           delay each reply by MS milliseconds more\n"
               "  --inputs-toggle S    flip inputs 0 and 1 (register 4) every S seconds\n"
               "  --silent             never answer\n"
               "  --stop-after N       answer the first N requests, then none\n"
               "  --exception-on ADDR  refuse writes touching ADDR with exception 02 (repeatable)\n"
               "  --corrupt-every N    send every Nth reply with a bad CRC\n"
               "  --duplicate-reply N[:MS]  send the Nth reply twice: back to back, or the copy\n"
               "                       MS milliseconds after the reply (repeatable)\n"
               "  --strict             answer reads of more than 10 registers with exception 03\n"
               "  --strict=silent      leave reads of more than 10 registers unanswered\n"
               "  --echo               send every request back before its reply, as a two-wire\n"
               "                       RS-485 adapter that hears itself does\n"
               "  --lose-reply N       act on the Nth request but lose its reply (repeatable)\n"
               "  --late N:MS          send the Nth reply MS milliseconds after its request, while\n"
               "                       the replies after it go out on time (repeatable)\n"
               "  --drop-writes-to ADDR  confirm writes touching ADDR but store nothing (repeatable)\n"
               "  --miss-request N     never hear the Nth request: no action, no reply (repeatable)\n"
               "  --corrupt-reply N    send the Nth reply with a bad CRC (repeatable)\n"
               "  --trailing N         follow the Nth reply at once with bytes of no frame (repeatable)\n"
               "  --stray N            send a frame nobody asked for just before the Nth reply (repeatable)\n"
               "  --echo-from N        send every request back before its reply, from the Nth on\n"
               "  --silence-at-write K:MS  from the Kth write on, hear and answer nothing for MS\n"
               "  --line KIND          a line with one fault, as met on a site:\n"
               "                         silent       nothing answers\n"
               "                         echo-only    every request comes back, and nothing else\n"
               "                         slave:N      the device answers as slave N (2..247), not 1\n"
               "                         speed:BAUD   the device answers only while the tool's side\n"
               "                                      of the pty is set to BAUD (a pty keeps no parity)\n"
               "                         swapped      A and B swapped: four 0x00 bytes, a break, in\n"
               "                                      place of every reply\n"
               "                         foreign      another kind of Modbus device: it answers the\n"
               "                                      status block (0..6) and refuses every other read\n"
               "                                      with exception 02\n"
               "                         chatter      another master polls slave 7 every 150 ms: its\n"
               "                                      requests and slave 7's replies pass on the line\n"
               "                         flaky:SHARE  that share of the requests (0 < SHARE < 1) is\n"
               "                                      never heard, spread evenly\n"
               "  --help               this text\n")
        .arg(program);
}

} // namespace sim
