#include "CliOptions.h"

#include "CliText.h"
#include "FieldCodecs.h"

#include <QCommandLineParser>

#include <algorithm>
#include <vector>

namespace cli {

namespace {

constexpr unsigned bit(Command c)
{
    return 1u << static_cast<unsigned>(c);
}
constexpr unsigned kEveryCommand = ~0u;

// One command: its name, the forms of its usage (each line of --help and
// every usage error show them), the words that follow it, and its part of
// --help. Each form puts -p PORT before its first "[" when the command
// needs a port.
struct CommandRow {
    const char *name;
    Command command;
    bool needsPort;
    std::vector<const char *> forms;
    int words;             // at most; exactly, unless takeWords accepts fewer
    const char *about;     // its lines in --help, already wrapped
    std::vector<const char *> examples;
    // Puts the words into o; false when they are not the command's.
    bool (*takeWords)(const QStringList &words, Options &o) = nullptr;
};

bool takeFile(const QStringList &words, Options &o)
{
    o.file = words.value(0);
    return words.size() == 1;
}

bool takeRelay(const QStringList &words, Options &o)
{
    const QString relay = words.value(0).toUpper(), state = words.value(1).toLower();
    if ((relay != QLatin1String("Q0") && relay != QLatin1String("Q1"))
        || (state != QLatin1String("on") && state != QLatin1String("off")))
        return false;
    o.relay = relay == QLatin1String("Q0") ? 0 : 1;
    o.relayOn = state == QLatin1String("on");
    return true;
}

// From a file, or from one port.
bool takeSheetFile(const QStringList &words, Options &o)
{
    o.file = words.value(0);
    return true;
}

const std::vector<CommandRow> &commandRows()
{
    static const std::vector<CommandRow> rows = {
        {"ports", Command::Ports, false, {"ports"}, 0,
         "COM1-COM7 with their device and the rule that chose it,\n"
         "and every serial device present",
         {"ports"}},
        {"status", Command::Status, true, {"status [--watch]"}, 0,
         "inputs I0/I1, relays Q0/Q1 and firmware version; --watch\n"
         "polls once a second and prints a line on each change, and\n"
         "one for each failed read; it ends on Ctrl-C, or after 10\n"
         "failed reads in a row",
         {"status -p COM1 --watch"}},
        {"read", Command::Read, true, {"read [-o FILE]"}, 0,
         "every parameter, as a configuration file, to FILE or stdout",
         {"read -p COM1 -o site.json", "read -p tcp://192.168.1.20:4001 -p rfc2217://[fd00::7]:7000 -o site.json"}},
        {"write", Command::Write, true, {"write FILE"}, 1,
         "check FILE, read the device and back it up, then send its\n"
         "22 writes; what the device already holds goes back as read",
         {"write site.json -p COM1 -p COM2 -p /dev/ttyUSB2 --verify", "write site.json -p COM1 --dry-run"}, takeFile},
        {"diff", Command::Diff, true, {"diff FILE"}, 1, "compare the device with FILE, field by field",
         {"diff site.json -p COM1"}, takeFile},
        {"relay", Command::Relay, true, {"relay Q0|Q1 on|off"}, 2, "switch one relay, leaving the other as it is",
         {"relay Q0 on -p COM1"}, takeRelay},
        {"factory", Command::Factory, true, {"factory"}, 0,
         "write the factory configuration; options, alarm mode and\n"
         "the all-on/all-off commands keep the device's values",
         {"factory -p COM1"}},
        {"restore", Command::Restore, true, {"restore BACKUP"}, 1,
         "put a backup back, register for register, and read it back;\n"
         "one of other firmware than the device's only with --force.\n"
         "The window saves the same backups before it writes",
         {"restore ~/.local/share/alarmcfg/backups/20261208-101502-347-COM1.json -p COM1"}, takeFile},
        {"sheet", Command::Sheet, false, {"sheet FILE -o PDF", "sheet -p PORT -o PDF"}, 1,
         "the hand-over sheet for the site's owner: every SMS command\n"
         "exactly as it must be sent, the replies, the alarm phones and\n"
         "texts, on one A4 page; from a configuration file (checked as\n"
         "write checks it) or from a device, read as read reads it",
         {"sheet site.json --site 'Pump house 3' --sim 13800000000 -o sheet.pdf", "sheet -p COM1 -o sheet.pdf"},
         takeSheetFile},
        {"doctor", Command::Doctor, true, {"doctor [--json]"}, 0,
         "why a controller does not answer: listens, reads it at the\n"
         "tool's speed as slave 1, then, only if nothing answers, tries\n"
         "1200-115200 baud with parity N, E and O and slaves 2-247\n"
         "(under a minute; Ctrl-C stops it). Only reads; the line's\n"
         "speed is put back. One verdict, a sentence that says what to\n"
         "do, or with --json its code, the evidence and every probe's\n"
         "bytes and times. The codes: healthy, port, no-answer,\n"
         "echo-only, lines-swapped, other-speed, other-address,\n"
         "not-this-device, another-master, intermittent, slow-reply",
         {"doctor -p COM1", "doctor -p COM1 -p rfc2217://192.168.1.20:7000 --json"}},
    };
    return rows;
}

QString usageOf(const CommandRow &row)
{
    QStringList forms;
    for (const char *form : row.forms) {
        QString text = QLatin1String(form);
        if (row.needsPort) {
            const qsizetype option = text.indexOf(QLatin1String(" ["));
            text.insert(option < 0 ? text.size() : option, QLatin1String(" -p PORT"));
        }
        forms << text;
    }
    return QStringLiteral("usage: alarmcfg-cli ") + forms.join(QStringLiteral(", or "));
}

QString commandsHelp()
{
    constexpr int kFormWidth = 24;
    QString text = QStringLiteral("Commands:\n");
    for (const CommandRow &row : commandRows()) {
        const QStringList about = QString::fromLatin1(row.about).split(u'\n');
        for (qsizetype i = 0; i < std::max<qsizetype>(about.size(), row.forms.size()); ++i) {
            const QString form = i < qsizetype(row.forms.size()) ? QLatin1String(row.forms[i]) : QString();
            text += QStringLiteral("  ") + form.leftJustified(kFormWidth) + about.value(i) + u'\n';
        }
    }
    return text;
}

QString examplesHelp()
{
    QString text = QStringLiteral("Examples:\n");
    for (const CommandRow &row : commandRows())
        for (const char *example : row.examples)
            text += QStringLiteral("  alarmcfg-cli ") + QLatin1String(example) + u'\n';
    return text + QStringLiteral("\n"
                                 "Exit status: 0 done (doctor: healthy); 1 diff found differences or\n"
                                 "--verify a mismatch; 2 bad usage or a refused file; 3 a port or a\n"
                                 "device failed (doctor: any other verdict).\n");
}

// "ports, status, ... or sheet"
QString commandNames()
{
    QStringList names;
    for (const CommandRow &row : commandRows())
        names << QLatin1String(row.name);
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

// One option: how --help shows it, the commands it goes with, and where its
// value goes.
struct OptionRow {
    QCommandLineOption option;
    unsigned commands = kEveryCommand;
    bool Options::*flag = nullptr;
    QString Options::*text = nullptr;
    QStringList Options::*list = nullptr;
    int Options::*number = nullptr;
    int min = 0, max = 0;
    const char *wants = nullptr; // what a number must be: "a bit rate"
};

// Every option of the command line, in the order --help lists them.
std::vector<OptionRow> optionRows()
{
    std::vector<OptionRow> rows;
    auto list = [&rows](const QStringList &names, const QString &help, const QString &valueName, unsigned commands,
                        QStringList Options::*to) {
        rows.push_back({QCommandLineOption(names, help, valueName), commands});
        rows.back().list = to;
    };
    auto number = [&rows](const QStringList &names, const QString &help, const QString &valueName, int Options::*to,
                          int min, int max, const char *wants) {
        const QString byDefault = QString::number(Options().*to);
        rows.push_back({QCommandLineOption(names, help.arg(byDefault), valueName, byDefault)});
        OptionRow &row = rows.back();
        row.number = to;
        row.min = min;
        row.max = max;
        row.wants = wants;
    };
    auto flag = [&rows](const QStringList &names, const QString &help, unsigned commands, bool Options::*to) {
        rows.push_back({QCommandLineOption(names, help), commands});
        rows.back().flag = to;
    };
    auto text = [&rows](const QStringList &names, const QString &help, const QString &valueName, unsigned commands,
                        QString Options::*to) {
        rows.push_back({QCommandLineOption(names, help, valueName), commands});
        rows.back().text = to;
    };
    list({"p", "port"},
         QStringLiteral("COM1..COM7, resolved as the window resolves them, a device path, or a port behind a "
                        "serial device server: tcp://HOST:PORT (raw TCP) or rfc2217://HOST:PORT (RFC 2217, the "
                        "tool sets the server's line), an IPv6 address in brackets. Repeat it to work on several "
                        "controllers at once."),
         QStringLiteral("PORT"), kEveryCommand & ~bit(Command::Ports), &Options::ports);
    number({"b", "baud"}, QStringLiteral("Baud rate (%1)."), QStringLiteral("RATE"), &Options::baud, 1, 10'000'000,
           "a bit rate");
    number({"timeout"}, QStringLiteral("Wait MS for each reply (%1)."), QStringLiteral("MS"), &Options::timeoutMs, 1,
           60'000, "milliseconds 1..60000");
    number({"retries"},
           QStringLiteral("Try a failed request N more times (%1: ") + QString::number(LinkSettings::kDefaultAttempts)
               + QStringLiteral(" attempts in all, as the window). A write the device confirmed is never sent again."),
           QStringLiteral("N"), &Options::retries, 0, 100, "a count 0..100");
    flag({"trace"}, QStringLiteral("Print every frame on stderr."), kEveryCommand, &Options::trace);
    flag({"json"}, QStringLiteral("One JSON object per line (ports, status, diff, doctor)."),
         bit(Command::Ports) | bit(Command::Status) | bit(Command::Diff) | bit(Command::Doctor), &Options::json);
    flag({"q", "quiet"}, QStringLiteral("Only errors on stderr, and no progress line."), kEveryCommand, &Options::quiet);
    flag({"watch"}, QStringLiteral("status: poll once a second until interrupted."), bit(Command::Status), &Options::watch);
    text({"o", "output"},
         QStringLiteral("read: save to FILE instead of stdout; with several ports each port gets FILE with its name "
                        "added. sheet: the PDF to save."),
         QStringLiteral("FILE"), bit(Command::Read) | bit(Command::Sheet), &Options::output);
    flag({"verify"}, QStringLiteral("write: read back every register written and compare."), bit(Command::Write),
         &Options::verify);
    flag({"dry-run"}, QStringLiteral("write, restore: print the writes, open no port, send nothing."),
         bit(Command::Write) | bit(Command::Restore), &Options::dryRun);
    flag({"no-backup"}, QStringLiteral("write, factory: no backup of the device's configuration first."),
         bit(Command::Write) | bit(Command::Factory), &Options::noBackup);
    flag({"force"}, QStringLiteral("restore: put back a backup taken from other firmware than the device's."),
         bit(Command::Restore), &Options::force);
    text({"site"}, QStringLiteral("sheet: where the controller is, for the sheet's head (else a line to write on)."),
         QStringLiteral("TEXT"), bit(Command::Sheet), &Options::site);
    text({"sim"}, QStringLiteral("sheet: the controller's SIM number, for the sheet's head (else a line to write on)."),
         QStringLiteral("NUMBER"), bit(Command::Sheet), &Options::sim);
    return rows;
}

// The options and the parser that knows them.
struct Parser {
    QCommandLineParser parser;
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};
    const QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Show the version.")};
    const std::vector<OptionRow> options = optionRows();

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Back up, provision, verify and watch GSM alarm controllers (Modbus RTU slave 1) "
                           "from a terminal, on one port or several at once."));
        parser.addOptions({help, version});
        for (const OptionRow &row : options)
            parser.addOption(row.option);
        parser.addPositionalArgument(QStringLiteral("command"), commandNames() + u'.',
                                     QStringLiteral("COMMAND [ARGUMENTS]"));
    }
};

// Puts each option's value into o, or says which value is wrong.
QString takeOptions(const Parser &p, Options &o)
{
    for (const OptionRow &row : p.options) {
        const QString value = p.parser.value(row.option);
        if (row.flag)
            o.*row.flag = p.parser.isSet(row.option);
        if (row.text)
            o.*row.text = value;
        if (row.list)
            o.*row.list = p.parser.values(row.option);
        if (!row.number)
            continue;
        bool ok = false;
        const int n = value.toInt(&ok);
        if (!ok || n < row.min || n > row.max)
            return QStringLiteral("--%1 wants %2, not '%3'").arg(row.option.names().constLast(), QLatin1String(row.wants), value);
        o.*row.number = n;
    }
    return QString();
}

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
    Parser p;
    QCommandLineParser &parser = p.parser;
    ParsedLine result;
    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(p.help)) {
        // The program's name, however it was started, so a manual page made from this reads right.
        QString text = parser.helpText();
        text.replace(text.indexOf(arguments.value(0)), arguments.value(0).size(), QStringLiteral("alarmcfg-cli"));
        result.text = text + u'\n' + commandsHelp() + u'\n' + examplesHelp();
        return result;
    }
    if (parser.isSet(p.version)) {
        result.text = QStringLiteral("alarmcfg-cli %1\n").arg(QStringLiteral(ALARMCFG_VERSION));
        return result;
    }

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        result.error = QStringLiteral("no command given; see --help");
        return result;
    }
    const QString name = args[0];
    const auto row = std::find_if(commandRows().begin(), commandRows().end(),
                                  [&](const CommandRow &r) { return name == QLatin1String(r.name); });
    if (row == commandRows().end()) {
        result.error = QStringLiteral("unknown command '%1'; see --help").arg(name);
        return result;
    }
    Options o;
    o.command = row->command;
    const QStringList words = args.mid(1);
    const bool wordsFit = row->takeWords ? words.size() <= row->words && row->takeWords(words, o) : words.isEmpty();
    if (!wordsFit) {
        result.error = usageOf(*row);
        return result;
    }
    if (const QString wrong = takeOptions(p, o); !wrong.isEmpty()) {
        result.error = wrong;
        return result;
    }
    // Options that mean nothing to the command are a mistake worth telling.
    for (const OptionRow &option : p.options) {
        if (parser.isSet(option.option) && !(option.commands & bit(o.command))) {
            result.error = QStringLiteral("--%1 does not go with %2").arg(option.option.names().constLast(), name);
            return result;
        }
    }
    if (std::any_of(o.ports.begin(), o.ports.end(), [](const QString &port) { return port.trimmed().isEmpty(); })) {
        result.error = emptyPortText();
        return result;
    }
    if (o.command == Command::Sheet)
        return sheetUsage(o, std::move(result));
    const bool dryRunOnly = (o.command == Command::Write || o.command == Command::Restore) && o.dryRun;
    if (row->needsPort && o.ports.isEmpty() && !dryRunOnly) {
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
