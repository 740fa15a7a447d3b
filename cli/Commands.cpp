#include "Commands.h"

#include "BackupFile.h"
#include "CliText.h"
#include "ConfigFile.h"
#include "Console.h"
#include "NetworkPort.h"
#include "PortCommands.h"
#include "PortListing.h"
#include "PortThreads.h"
#include "Report.h"
#include "SheetCommand.h"
#include "SystemPorts.h"

#include <algorithm>
#include <functional>

namespace cli {

namespace {

// Long enough for a write in flight to end after its grace.
constexpr int kLeaveBehindMs = PortSession::kWriteGraceMs + 200;

void printPlan(const std::vector<params::PlannedWrite> &writes, Report &report)
{
    for (const params::PlannedWrite &w : writes) {
        QStringList hex;
        for (quint16 v : w.registers)
            hex << registerHex(v);
        report.data(QStringLiteral("%1 %2 %3%4  %5")
                        .arg(w.start, 4)
                        .arg(w.single ? QStringLiteral("06") : QStringLiteral("16"))
                        .arg(hex.join(u' '))
                        .arg(w.text.isNull() ? QString() : QStringLiteral("  \"%1\"").arg(w.text), w.field));
    }
}

// The backup at path, every problem reported when it is refused.
std::optional<backup::Backup> readBackup(const QString &path, Report &report)
{
    const backup::ParseResult parsed = backup::readFile(path);
    if (parsed.unread)
        report.error(path, problemText(*parsed.unread));
    for (const QString &problem : parsed.problems)
        report.error(path, problem);
    return parsed.backup;
}

// COMn as the window resolves it, a network port, or a device path as given.
std::optional<PortTarget> resolveTarget(const QString &name, const ports::PortTable &table, const Options &o, Report &report)
{
    const PortTarget target = ports::targetOf(table, name);
    if (const std::optional<int> com = ports::comNumber(name); com && o.trace)
        report.error(QString(), QStringLiteral("PORT  ") + ports::describe(table.com[*com - kFirstPort]));
    if (target.device.isEmpty()) {
        QString problem;
        if (ports::looksLikeNetworkPort(name) && !ports::parseNetworkPort(name, &problem))
            report.error(target.name, QStringLiteral("not a network port: %1 (tcp://HOST:PORT or rfc2217://HOST:PORT, an "
                                                     "IPv6 address in brackets)").arg(problem));
        else
            report.error(target.name, target.missing == PortOpenFailure::Cause::NotADevice
                                          ? QStringLiteral("not a port name or device (COM1..COM7, a path such as "
                                                           "/dev/ttyUSB0, or tcp://HOST:PORT or rfc2217://HOST:PORT)")
                                          : QStringLiteral("no device stands behind it (see alarmcfg-cli ports)"));
        return std::nullopt;
    }
    return target;
}

} // namespace

namespace {

// A command whose data did not all reach standard output has failed.
int withOutputChecked(Report &report, int status)
{
    const QString failure = report.outputFailure();
    if (failure.isEmpty())
        return status;
    report.error(QStringLiteral("alarmcfg-cli"), outputFailedText(failure));
    return std::max(status, kExitDevice);
}

// Runs each port's commands on a thread of its own. Every thread ends soon
// after Ctrl-C; one the system holds (an open that does not return) is left
// behind once kLeaveBehindMs have passed, so that Ctrl-C always ends the program.
std::vector<int> runPorts(const Options &o, Report &report, const config::Configuration *file,
                          const backup::Backup *saved, std::optional<session::DeviceConfiguration> *read = nullptr)
{
    // Ports are resolved once, here: the threads never touch the port map.
    const ports::PortTable table = ports::lookUpPorts();
    if (o.trace)
        for (const QString &note : table.notes)
            report.error(QString(), QStringLiteral("PORT  ") + note);
    std::vector<std::function<int()>> jobs(o.ports.size());
    for (qsizetype i = 0; i < o.ports.size(); ++i)
        if (const std::optional<PortTarget> target = resolveTarget(o.ports[i], table, o, report))
            jobs[i] = [&, target = *target] {
                return PortCommands(Job{o, report, target, file, saved, read, table.present}).run();
            };
    return runOnThreads(jobs, kExitDevice, kLeaveBehindMs, [&](const std::vector<size_t> &behind) {
        for (const size_t i : behind)
            report.error(o.ports[static_cast<qsizetype>(i)], leftBehindText());
        return withOutputChecked(report, kExitDevice);
    });
}

int runCommand(const Options &o, Report &report)
{
    if (o.command == Command::Ports)
        return listPorts(o, report);

    if (o.command == Command::Sheet)
        return runSheet(o, report, [&](std::optional<session::DeviceConfiguration> *read) {
            return runPorts(o, report, nullptr, nullptr, read).front();
        });
    std::optional<config::Configuration> file;
    if (o.command == Command::Write || o.command == Command::Diff) {
        // A refused file stops everything before any port is opened.
        const config::ParseResult parsed = config::readFile(o.file);
        if (!parsed.configuration) {
            for (const params::Problem &p : parsed.problems)
                report.error(o.file, problemText(p));
            return exitStatusFor(failure::classify(parsed.problems.front()));
        }
        file = parsed.configuration;
        if (o.dryRun) {
            printPlan(params::planWrites(file->set), report);
            return kExitDone;
        }
    }
    std::optional<backup::Backup> saved;
    if (o.command == Command::Restore) {
        const std::optional<backup::Backup> parsed = readBackup(o.file, report);
        if (!parsed)
            return kExitUsage;
        saved = parsed;
        if (o.dryRun) {
            printPlan(backup::restoreWrites(*saved), report);
            return kExitDone;
        }
    }
    const std::vector<int> results = runPorts(o, report, file ? &*file : nullptr, saved ? &*saved : nullptr);
    return *std::max_element(results.begin(), results.end());
}

} // namespace

int run(const Options &o)
{
    Report report(o.quiet);
    return withOutputChecked(report, runCommand(o, report));
}

int printText(const QString &text)
{
    Report report(false);
    report.data(text.endsWith(u'\n') ? text.chopped(1) : text);
    return withOutputChecked(report, kExitDone);
}

} // namespace cli
