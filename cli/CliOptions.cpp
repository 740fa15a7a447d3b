#include "CliOptions.h"

#include "CliText.h"
#include "FieldCodecs.h"

#include <QCommandLineParser>

#include <algorithm>

namespace cli {

namespace {

const char *const kCommands =
    "Commands:\n"
    "  ports                   COM1-COM7 with their device and the rule that chose it,\n"
    "                          and every serial device present\n"
    "  status [--watch]        inputs I0/I1, relays Q0/Q1 and firmware version; --watch\n"
    "                          polls once a second and prints a line on each change, and\n"
    "                          one for each failed read; it ends on Ctrl-C, or after 10\n"
    "                          failed reads in a row\n"
    "  read [-o FILE]          every parameter, as a configuration file, to FILE or stdout\n"
    "  write FILE              check FILE, read the device and back it up, then send its\n"
    "                          22 writes; what the device already holds goes back as read\n"
    "  diff FILE               compare the device with FILE, field by field\n"
    "  relay Q0|Q1 on|off      switch one relay, leaving the other as it is\n"
    "  factory                 write the factory configuration; options, alarm mode and\n"
    "                          the all-on/all-off commands keep the device's values\n"
    "  restore BACKUP          put a backup back, register for register, and read it back;\n"
    "                          one of other firmware than the device's only with --force.\n"
    "                          The window saves the same backups before it writes\n"
    "  sheet FILE -o PDF       the hand-over sheet for the site's owner: every SMS command\n"
    "  sheet -p PORT -o PDF    exactly as it must be sent, the replies, the alarm phones and\n"
    "                          texts, on one A4 page; from a configuration file (checked as\n"
    "                          write checks it) or from a device, read as read reads it\n";

const char *const kExamples =
    "Examples:\n"
    "  alarmcfg-cli ports\n"
    "  alarmcfg-cli status -p COM1 --watch\n"
    "  alarmcfg-cli read -p COM1 -o site.json\n"
    "  alarmcfg-cli write site.json -p COM1 -p COM2 -p /dev/ttyUSB2 --verify\n"
    "  alarmcfg-cli read -p tcp://192.168.1.20:4001 -p rfc2217://[fd00::7]:7000 -o site.json\n"
    "  alarmcfg-cli write site.json -p COM1 --dry-run\n"
    "  alarmcfg-cli diff site.json -p COM1\n"
    "  alarmcfg-cli relay Q0 on -p COM1\n"
    "  alarmcfg-cli factory -p COM1\n"
    "  alarmcfg-cli restore ~/.local/share/alarmcfg/backups/20261208-101502-347-COM1.json -p COM1\n"
    "  alarmcfg-cli sheet site.json --site 'Pump house 3' --sim 13800000000 -o sheet.pdf\n"
    "  alarmcfg-cli sheet -p COM1 -o sheet.pdf\n"
    "\n"
    "Exit status: 0 done; 1 diff found differences or --verify a mismatch;\n"
    "2 bad usage or a refused file; 3 a port or a device failed.\n";

bool numberWithin(const QString &text, int min, int max, int *out)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < min || n > max)
        return false;
    *out = n;
    return true;
}

// Every option of the command line, and the parser that knows them.
struct Parser {
    QCommandLineParser parser;
    const QString defaultBaud = QString::number(LinkSettings::kDefaultBaud);
    const QString defaultTimeout = QString::number(LinkSettings::kDefaultResponseTimeoutMs);
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};
    const QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Show the version.")};
    const QCommandLineOption port{{QStringLiteral("p"), QStringLiteral("port")},
                                  QStringLiteral("COM1..COM7, resolved as the window resolves them, a device path, or "
                                                 "a port behind a serial device server: tcp://HOST:PORT (raw TCP) or "
                                                 "rfc2217://HOST:PORT (RFC 2217, the tool sets the server's line), "
                                                 "an IPv6 address in brackets. Repeat it to work on several "
                                                 "controllers at once."),
                                  QStringLiteral("PORT")};
    const QCommandLineOption baud{{QStringLiteral("b"), QStringLiteral("baud")},
                                  QStringLiteral("Baud rate (%1).").arg(defaultBaud), QStringLiteral("RATE"), defaultBaud};
    const QCommandLineOption timeout{QStringLiteral("timeout"), QStringLiteral("Wait MS for each reply (%1).").arg(defaultTimeout),
                                     QStringLiteral("MS"), defaultTimeout};
    const QString defaultRetries = QString::number(LinkSettings::kDefaultAttempts - 1);
    const QCommandLineOption retries{QStringLiteral("retries"),
                                     QStringLiteral("Try a failed request N more times (%1: %2 attempts in all, as the "
                                                    "window). A write the device confirmed is never sent again.")
                                         .arg(defaultRetries)
                                         .arg(LinkSettings::kDefaultAttempts),
                                     QStringLiteral("N"), defaultRetries};
    const QCommandLineOption trace{QStringLiteral("trace"), QStringLiteral("Print every frame on stderr.")};
    const QCommandLineOption json{QStringLiteral("json"), QStringLiteral("One JSON object per line (ports, status, diff).")};
    const QCommandLineOption quiet{{QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("Only errors on stderr, and no progress line.")};
    const QCommandLineOption watch{QStringLiteral("watch"), QStringLiteral("status: poll once a second until interrupted.")};
    const QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("read: save to FILE instead of stdout; with several ports each "
                                                   "port gets FILE with its name added. sheet: the PDF to save."),
                                    QStringLiteral("FILE")};
    const QCommandLineOption verify{QStringLiteral("verify"),
                                    QStringLiteral("write: read back every register written and compare.")};
    const QCommandLineOption dryRun{QStringLiteral("dry-run"),
                                    QStringLiteral("write, restore: print the writes, open no port, send nothing.")};
    const QCommandLineOption noBackup{QStringLiteral("no-backup"),
                                      QStringLiteral("write, factory: no backup of the device's configuration first.")};
    const QCommandLineOption force{QStringLiteral("force"),
                                   QStringLiteral("restore: put back a backup taken from other firmware than the device's.")};
    const QCommandLineOption site{QStringLiteral("site"),
                                  QStringLiteral("sheet: where the controller is, for the sheet's head (else a line to "
                                                 "write on)."),
                                  QStringLiteral("TEXT")};
    const QCommandLineOption sim{QStringLiteral("sim"),
                                 QStringLiteral("sheet: the controller's SIM number, for the sheet's head (else a line to "
                                                "write on)."),
                                 QStringLiteral("NUMBER")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Back up, provision, verify and watch GSM alarm controllers (Modbus RTU slave 1) "
                           "from a terminal, on one port or several at once."));
        parser.addOptions({help, version, port, baud, timeout, retries, trace, json, quiet, watch, output, verify, dryRun,
                           noBackup, force, site, sim});
        parser.addPositionalArgument(QStringLiteral("command"),
                                     QStringLiteral("ports, status, read, write, diff, relay, factory, restore or sheet."),
                                     QStringLiteral("COMMAND [ARGUMENTS]"));
    }
};

// A sheet is made of one configuration, from a file or a device, into a PDF.
ParsedLine sheetUsage(const Options &o, ParsedLine result)
{
    if (o.file.isEmpty() == o.ports.isEmpty())
        result.error = o.file.isEmpty() ? QStringLiteral("sheet needs a configuration file or a port: sheet FILE -o PDF, "
                                                         "or sheet -p PORT -o PDF")
                                        : QStringLiteral("sheet takes a configuration file or a port, not both");
    else if (o.ports.size() > 1)
        result.error = QStringLiteral("a sheet is one controller's: sheet takes one port");
    else if (o.output.isEmpty())
        result.error = QStringLiteral("sheet needs -o FILE, the PDF to save");
    else if (!o.sim.isEmpty() && !fields::isSendablePhoneEntry(o.sim))
        result.error = QStringLiteral("--sim wants a phone number (digits, an optional leading +), not '%1'").arg(o.sim);
    else
        result.options = o;
    return result;
}

} // namespace

bool makesASheet(const QStringList &arguments)
{
    Parser p;
    return p.parser.parse(arguments) && !p.parser.isSet(p.help) && !p.parser.isSet(p.version)
           && p.parser.positionalArguments().value(0) == QLatin1String("sheet");
}

ParsedLine parseCommandLine(const QStringList &arguments)
{
    Parser definitions;
    QCommandLineParser &parser = definitions.parser;
    const auto &[_, defaultBaud, defaultTimeout, help, version, port, baud, timeout, defaultRetries, retries, trace, json,
                 quiet, watch, output, verify, dryRun, noBackup, force, site, sim] = definitions;
    ParsedLine result;
    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        // The program's name, however it was started, so a manual page made from this reads right.
        QString text = parser.helpText();
        text.replace(text.indexOf(arguments.value(0)), arguments.value(0).size(), QStringLiteral("alarmcfg-cli"));
        result.text = text + QStringLiteral("\n") + QLatin1String(kCommands) + QStringLiteral("\n")
                      + QLatin1String(kExamples);
        return result;
    }
    if (parser.isSet(version)) {
        result.text = QStringLiteral("alarmcfg-cli %1\n").arg(QStringLiteral(ALARMCFG_VERSION));
        return result;
    }

    Options o;
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        result.error = QStringLiteral("no command given; see --help");
        return result;
    }
    const QString name = args[0];
    const QStringList rest = args.mid(1);
    auto expect = [&](qsizetype count, const QString &usage) {
        if (rest.size() != count)
            result.error = QStringLiteral("usage: alarmcfg-cli %1").arg(usage);
        return rest.size() == count;
    };
    if (name == QLatin1String("ports")) {
        o.command = Command::Ports;
        if (!expect(0, QStringLiteral("ports")))
            return result;
    } else if (name == QLatin1String("status")) {
        o.command = Command::Status;
        if (!expect(0, QStringLiteral("status -p PORT [--watch]")))
            return result;
    } else if (name == QLatin1String("read")) {
        o.command = Command::Read;
        if (!expect(0, QStringLiteral("read -p PORT [-o FILE]")))
            return result;
    } else if (name == QLatin1String("write") || name == QLatin1String("diff")) {
        o.command = name == QLatin1String("write") ? Command::Write : Command::Diff;
        if (!expect(1, name + QStringLiteral(" FILE -p PORT")))
            return result;
        o.file = rest[0];
    } else if (name == QLatin1String("relay")) {
        o.command = Command::Relay;
        if (!expect(2, QStringLiteral("relay Q0|Q1 on|off -p PORT")))
            return result;
        const QString relay = rest[0].toUpper(), state = rest[1].toLower();
        if ((relay != QLatin1String("Q0") && relay != QLatin1String("Q1"))
            || (state != QLatin1String("on") && state != QLatin1String("off"))) {
            result.error = QStringLiteral("usage: alarmcfg-cli relay Q0|Q1 on|off -p PORT");
            return result;
        }
        o.relay = relay == QLatin1String("Q0") ? 0 : 1;
        o.relayOn = state == QLatin1String("on");
    } else if (name == QLatin1String("restore")) {
        o.command = Command::Restore;
        if (!expect(1, QStringLiteral("restore BACKUP -p PORT")))
            return result;
        o.file = rest[0];
    } else if (name == QLatin1String("sheet")) {
        o.command = Command::Sheet;
        if (rest.size() > 1) {
            result.error = QStringLiteral("usage: alarmcfg-cli sheet FILE -o PDF, or sheet -p PORT -o PDF");
            return result;
        }
        o.file = rest.value(0);
    } else if (name == QLatin1String("factory")) {
        o.command = Command::Factory;
        if (!expect(0, QStringLiteral("factory -p PORT")))
            return result;
    } else {
        result.error = QStringLiteral("unknown command '%1'; see --help").arg(name);
        return result;
    }

    o.ports = parser.values(port);
    if (!numberWithin(parser.value(baud), 1, 10'000'000, &o.baud)) {
        result.error = QStringLiteral("--baud wants a bit rate, not '%1'").arg(parser.value(baud));
        return result;
    }
    if (!numberWithin(parser.value(timeout), 1, 60'000, &o.timeoutMs)) {
        result.error = QStringLiteral("--timeout wants milliseconds 1..60000, not '%1'").arg(parser.value(timeout));
        return result;
    }
    if (!numberWithin(parser.value(retries), 0, 100, &o.retries)) {
        result.error = QStringLiteral("--retries wants a count 0..100, not '%1'").arg(parser.value(retries));
        return result;
    }
    o.trace = parser.isSet(trace);
    o.json = parser.isSet(json);
    o.quiet = parser.isSet(quiet);
    o.watch = parser.isSet(watch);
    o.output = parser.value(output);
    o.verify = parser.isSet(verify);
    o.dryRun = parser.isSet(dryRun);
    o.noBackup = parser.isSet(noBackup);
    o.force = parser.isSet(force);
    o.site = parser.value(site);
    o.sim = parser.value(sim);

    // Options that mean nothing to the command are a mistake worth telling.
    struct Only {
        const QCommandLineOption &option;
        bool fits;
    };
    const Only only[] = {{watch, o.command == Command::Status},
                         {output, o.command == Command::Read || o.command == Command::Sheet},
                         {site, o.command == Command::Sheet},
                         {sim, o.command == Command::Sheet},
                         {verify, o.command == Command::Write},
                         {dryRun, o.command == Command::Write || o.command == Command::Restore},
                         {noBackup, o.command == Command::Write || o.command == Command::Factory},
                         {force, o.command == Command::Restore},
                         {json, o.command == Command::Ports || o.command == Command::Status || o.command == Command::Diff},
                         {port, o.command != Command::Ports}};
    for (const Only &x : only) {
        if (parser.isSet(x.option) && !x.fits) {
            result.error = QStringLiteral("--%1 does not go with %2").arg(x.option.names().constLast(), name);
            return result;
        }
    }
    if (std::any_of(o.ports.begin(), o.ports.end(), [](const QString &p) { return p.trimmed().isEmpty(); })) {
        result.error = emptyPortText();
        return result;
    }
    if (o.command == Command::Sheet)
        return sheetUsage(o, std::move(result));
    const bool dryRunOnly = (o.command == Command::Write || o.command == Command::Restore) && o.dryRun;
    if (o.command != Command::Ports && o.ports.isEmpty() && !dryRunOnly) {
        result.error = QStringLiteral("%1 needs a port: -p COM1, or -p /dev/ttyUSB0").arg(name);
        return result;
    }
    if (o.command == Command::Restore && o.ports.size() > 1) {
        result.error = QStringLiteral("a backup is one controller's: restore takes one port");
        return result;
    }
    if (o.command == Command::Read && o.ports.size() > 1 && o.output.isEmpty()) {
        result.error = QStringLiteral("read from several ports needs -o FILE");
        return result;
    }
    result.options = o;
    return result;
}

} // namespace cli
