#include "Commands.h"

#include "BackupFile.h"
#include "CliText.h"
#include "ConfigFile.h"
#include "FieldCodecs.h"
#include "Console.h"
#include "PortSession.h"
#include "PortThreads.h"
#include "Report.h"
#include "SafeFile.h"
#include "SystemPorts.h"

#include "BlockDecoding.h"
#include "RegisterMap.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <functional>

namespace cli {

namespace {

constexpr int kWatchIntervalMs = 1000;
// Long enough for a write in flight to end after its grace.
constexpr int kLeaveBehindMs = PortSession::kWriteGraceMs + 200;

// A port's name fit for a file name: "/dev/ttyUSB0" becomes "dev-ttyUSB0".
// Where that would give two of the ports one name ("/dev/site.a" and
// "/dev/site_a"), each gets a name that keeps every character apart.
QString fileNamePart(const QString &port, const QStringList &ports)
{
    auto readable = [](QString name) {
        name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
        return name.remove(QRegularExpression(QStringLiteral("^-+|-+$")));
    };
    const QString part = readable(port);
    const bool shared = std::any_of(ports.begin(), ports.end(), [&](const QString &other) {
        return other.trimmed().compare(port, Qt::CaseInsensitive) != 0 && readable(other.trimmed()) == part;
    });
    return shared ? backup::portFilePart(port) : part;
}

LinkSettings linkSettings(const Options &o, const QString &port)
{
    LinkSettings settings;
    settings.baud = o.baud;
    settings.responseTimeoutMs = o.timeoutMs;
    settings.attempts = 1 + o.retries;
    settings.trace = o.trace;
    settings.traceLabel = port;
    return settings;
}

QString jsonLine(const QJsonObject &o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }

// Everything a port's thread needs.
struct Job {
    const Options &options;
    Report &report;
    PortTarget target;
    const config::Configuration *file; // write and diff: the file, checked already
    const backup::Backup *backup;      // restore: the backup, checked already
};

// A backup's blocks as writes, in address order: every register exactly as it
// was read, with no check, since it is what the device held.
std::vector<params::PlannedWrite> restoreWrites(const backup::Backup &b)
{
    std::vector<params::PlannedWrite> writes;
    for (const auto &[start, values] : b.blocks) {
        const int single = values.size() == 1;
        writes.push_back({start, values, single == 1, {}, QStringLiteral("registers %1..%2").arg(start).arg(start + values.size() - 1),
                          QString(), true, false});
    }
    return writes;
}

class PortCommands {
public:
    explicit PortCommands(const Job &job)
        : m_o(job.options), m_report(job.report), m_port(job.target.name), m_file(job.file), m_backup(job.backup),
          m_session(job.target, linkSettings(job.options, job.target.name))
    {
    }

    int run()
    {
        if (!m_session.open())
            return failed(m_session.lastError());
        switch (m_o.command) {
        case Command::Status: return status();
        case Command::Read: return read();
        case Command::Write: {
            const std::optional<DeviceConfiguration> device = readBeforeWrite();
            return device ? write(m_file->set, *device) : kExitDevice;
        }
        case Command::Diff: return diff();
        case Command::Relay: return relay();
        case Command::Factory: return factory();
        case Command::Restore: return restore();
        case Command::Ports: break;
        }
        return kExitDone;
    }

private:
    int failed(const QString &why)
    {
        m_report.progressDone(m_port);
        m_report.error(m_port, why);
        return kExitDevice;
    }

    std::function<void(int, int)> progress(const QString &what)
    {
        return [this, what](int done, int total) { m_report.progress(m_port, what, done, total); };
    }

    int status()
    {
        QString last;
        for (;;) {
            const std::optional<QVector<quint16>> values = m_session.read(regmap::kStatusBlock.start, regmap::kStatusBlock.count);
            if (!values)
                return interrupted() ? kExitDone : failed(m_session.lastError());
            const std::optional<blocks::Status> s = blocks::decodeStatus(*values, regmap::kStatusBlock.count);
            if (!s)
                return failed(QStringLiteral("status reply too short: %1 registers").arg(values->size()));
            auto bit = [](qint16 bits, int i) { return (bits >> i & 1) != 0; };
            QString line;
            if (m_o.json) {
                QJsonObject o{{"port", m_port}, {"firmware", s->firmware}};
                o[QStringLiteral("inputs")] = QJsonObject{{"I0", bit(s->inputs, 0)}, {"I1", bit(s->inputs, 1)}};
                o[QStringLiteral("relays")] = QJsonObject{{"Q0", bit(s->relays, 0)}, {"Q1", bit(s->relays, 1)}};
                line = jsonLine(o);
            } else {
                line = QStringLiteral("%1 I0=%2 I1=%3 Q0=%4 Q1=%5 firmware %6")
                           .arg(m_port)
                           .arg(bit(s->inputs, 0) ? "on" : "off", bit(s->inputs, 1) ? "on" : "off",
                                bit(s->relays, 0) ? "on" : "off", bit(s->relays, 1) ? "on" : "off", s->firmware);
            }
            if (!m_o.watch) {
                m_report.data(line);
                return kExitDone;
            }
            // Nobody reads the lines any more (a closed pipe, a full disk).
            if (!m_report.outputFailure().isEmpty())
                return kExitDevice;
            if (line != last) {
                const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
                m_report.data(m_o.json ? line : stamp + u' ' + line);
                last = line;
            }
            for (int waited = 0; waited < kWatchIntervalMs; waited += kInterruptLookMs) {
                if (interrupted())
                    return kExitDone;
                QThread::msleep(kInterruptLookMs);
            }
        }
    }

    std::optional<DeviceConfiguration> readWhole()
    {
        std::optional<DeviceConfiguration> c = m_session.readConfiguration(progress(QStringLiteral("read")));
        m_report.progressDone(m_port);
        return c;
    }

    int read()
    {
        const std::optional<DeviceConfiguration> device = readWhole();
        if (!device)
            return failed(m_session.lastError());
        const config::Configuration &c = device->configuration;
        const QByteArray text = config::serialize(c.set, c.firmware, QDateTime::currentDateTime());
        if (m_o.output.isEmpty()) {
            m_report.data(QString::fromUtf8(text).chopped(1));
            return kExitDone;
        }
        QString path = m_o.output;
        // A device such as /dev/null takes every port's file as it is: a name
        // beside it would be a new file in /dev.
        if (m_o.ports.size() > 1 && !safefile::writesThrough(path)) {
            const QFileInfo info(path);
            const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
            path = info.dir().filePath(info.completeBaseName() + u'-' + fileNamePart(m_port, m_o.ports) + suffix);
        }
        QString error;
        if (!config::writeFile(path, text, &error))
            return failed(QStringLiteral("cannot save %1: %2").arg(path, error));
        m_report.info(m_port, QStringLiteral("configuration saved to %1").arg(path));
        return kExitDone;
    }

    // The device's registers as read before the write, kept where a failed
    // write can be undone from, under a name no other backup has.
    std::optional<QString> backUp(const DeviceConfiguration &device)
    {
        backup::Backup b;
        b.port = m_port;
        b.firmware = device.configuration.firmware;
        b.saved = QDateTime::currentDateTime();
        for (const regmap::Block &block : backup::backupBlocks())
            b.blocks[block.start] = device.reading.blocks.at(block.start);
        b.set = device.configuration.set;
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/backups");
        QString error;
        const std::optional<QString> path = backup::saveNew(dir, b, &error);
        if (!path) {
            failed(QStringLiteral("no backup, nothing written: %1").arg(error));
            return std::nullopt;
        }
        // As the system writes paths: C:\Users\... on Windows, for the command that puts it back.
        const QString shown = QDir::toNativeSeparators(*path);
        m_report.info(m_port, QStringLiteral("backup saved to %1").arg(shown));
        return shown;
    }

    // The device is read first, backup or not: a field whose value equals
    // the device's goes back with the device's own registers.
    std::optional<DeviceConfiguration> readBeforeWrite()
    {
        std::optional<DeviceConfiguration> device = readWhole();
        if (!device)
            failed(QStringLiteral("%1nothing written: %2")
                       .arg(m_o.noBackup ? QString() : QStringLiteral("no backup, "), m_session.lastError()));
        return device;
    }

    // The command that puts the backup back, with the line settings of this run.
    QString restoreCommand(const QString &backup) const
    {
        QStringList words = {QStringLiteral("alarmcfg-cli"), QStringLiteral("restore"), backup, QStringLiteral("-p"), m_port};
        if (m_o.baud != LinkSettings::kDefaultBaud)
            words << QStringLiteral("-b") << QString::number(m_o.baud);
        if (m_o.timeoutMs != LinkSettings::kDefaultResponseTimeoutMs)
            words << QStringLiteral("--timeout") << QString::number(m_o.timeoutMs);
        if (m_o.retries != 0)
            words << QStringLiteral("--retries") << QString::number(m_o.retries);
        std::transform(words.begin(), words.end(), words.begin(), commandWord);
        return words.join(u' ');
    }

    int write(const params::ParameterSet &set, const DeviceConfiguration &device)
    {
        std::optional<QString> backup;
        if (!m_o.noBackup && !(backup = backUp(device)))
            return kExitDevice;
        const std::vector<params::PlannedWrite> writes = params::planWrites(set, &device.reading);
        const int total = static_cast<int>(writes.size());
        auto undo = [&] {
            return backup ? QStringLiteral("; backup %1; put it back with: %2").arg(*backup, restoreCommand(*backup))
                          : QStringLiteral("; no backup was made");
        };
        for (int i = 0; i < total; ++i) {
            // Between two writes, never inside one.
            if (interrupted())
                return failed(QStringLiteral("interrupted: the device confirmed %1 of %2 writes%3").arg(i).arg(total).arg(undo()));
            const params::PlannedWrite &w = writes[i];
            if (m_session.write(w)) {
                m_report.progress(m_port, QStringLiteral("write"), i + 1, total);
                continue;
            }
            // The device did not answer within the grace an interrupt leaves a write in flight.
            if (interrupted())
                return failed(QStringLiteral("interrupted: the device confirmed %1 of %2 writes; write %3 (%4) was sent, "
                                             "its answer not awaited%5")
                                  .arg(i)
                                  .arg(total)
                                  .arg(w.start)
                                  .arg(w.field, undo()));
            return failed(QStringLiteral("write %1 (%2) failed: %3; the device confirmed %4 of %5 writes%6")
                              .arg(w.start)
                              .arg(w.field, m_session.lastError())
                              .arg(i)
                              .arg(total)
                              .arg(undo()));
        }
        m_report.progressDone(m_port);
        if (!m_o.verify) {
            m_report.info(m_port, QStringLiteral("%1 writes confirmed").arg(total));
            return kExitDone;
        }
        const std::optional<std::vector<Mismatch>> mismatches = m_session.verify(writes, progress(QStringLiteral("verify")));
        m_report.progressDone(m_port);
        if (!mismatches)
            return failed(QStringLiteral("verify failed: %1").arg(m_session.lastError()));
        // One line for each field, with its first wrong register.
        for (size_t i = 0; i < mismatches->size();) {
            const Mismatch &first = (*mismatches)[i];
            size_t end = i;
            while (end < mismatches->size() && (*mismatches)[end].field == first.field)
                ++end;
            m_report.error(m_port, QStringLiteral("verify: %1 does not hold what was written: %2 of its registers differ, "
                                                  "register %3 holds %4 for %5")
                                       .arg(first.field)
                                       .arg(end - i)
                                       .arg(first.address)
                                       .arg(QStringLiteral("0x") + registerHex(first.read),
                                            QStringLiteral("0x") + registerHex(first.written)));
            i = end;
        }
        if (!mismatches->empty()) {
            m_report.error(m_port, QStringLiteral("verify: %1 registers differ from what was written%2")
                                       .arg(mismatches->size())
                                       .arg(undo()));
            return kExitDifferent;
        }
        m_report.info(m_port, QStringLiteral("%1 writes confirmed and read back the same").arg(total));
        return kExitDone;
    }

    int diff()
    {
        const std::optional<DeviceConfiguration> device = readWhole();
        if (!device)
            return failed(m_session.lastError());
        const std::vector<params::Difference> diffs = params::differences(device->configuration.set, m_file->set);
        if (m_o.json) {
            QJsonArray array;
            for (const params::Difference &d : diffs)
                array.append(QJsonObject{{"field", d.field}, {"device", d.first}, {"file", d.second}});
            m_report.data(jsonLine(QJsonObject{{"port", m_port}, {"differences", array}}));
        } else {
            for (const params::Difference &d : diffs)
                m_report.data(QStringLiteral("%1 %2: device %3, file %4")
                                  .arg(m_port, d.field, shellQuoted(d.first), shellQuoted(d.second)));
        }
        m_report.info(m_port, diffs.empty() ? QStringLiteral("the device holds the file's configuration")
                                            : QStringLiteral("%1 fields differ").arg(diffs.size()));
        return diffs.empty() ? kExitDone : kExitDifferent;
    }

    int relay()
    {
        const std::optional<QVector<quint16>> now = m_session.read(regmap::kRelayRegister, 1);
        if (!now)
            return failed(m_session.lastError());
        const quint16 mask = static_cast<quint16>(1u << m_o.relay);
        const quint16 value = m_o.relayOn ? quint16((*now)[0] | mask) : quint16((*now)[0] & ~mask);
        if (!m_session.writeRegister(regmap::kRelayRegister, value))
            return failed(m_session.lastError());
        m_report.info(m_port, QStringLiteral("Q%1 %2").arg(m_o.relay).arg(m_o.relayOn ? "on" : "off"));
        return kExitDone;
    }

    int factory()
    {
        // The fields outside the factory table keep the device's values.
        const std::optional<DeviceConfiguration> device = readBeforeWrite();
        if (!device)
            return kExitDevice;
        params::ParameterSet set = device->configuration.set;
        params::applyFactoryTable(set);
        const std::vector<params::Problem> problems = params::checkParameters(set, &device->reading);
        if (!problems.empty()) {
            for (const params::Problem &p : problems)
                m_report.error(m_port, QStringLiteral("factory set refused, nothing written: %1").arg(problemText(p)));
            return kExitUsage;
        }
        return write(set, *device);
    }

    int restore()
    {
        if (!m_backup->port.isEmpty() && m_backup->port != m_port)
            m_report.info(m_port, QStringLiteral("the backup was taken on %1").arg(m_backup->port));
        const std::vector<params::PlannedWrite> all = restoreWrites(*m_backup);
        // Only the blocks that differ are written: a block the failed write
        // never reached stays untouched, even where the device refuses writes.
        const std::optional<std::vector<Mismatch>> before = m_session.verify(all, progress(QStringLiteral("read")));
        m_report.progressDone(m_port);
        if (!before)
            return failed(QStringLiteral("nothing written: reading the device failed: %1").arg(m_session.lastError()));
        std::vector<params::PlannedWrite> writes;
        for (const params::PlannedWrite &w : all)
            if (std::any_of(before->begin(), before->end(), [&](const Mismatch &m) {
                    return m.address >= w.start && m.address < w.start + w.registers.size();
                }))
                writes.push_back(w);
        const int total = static_cast<int>(writes.size());
        for (int i = 0; i < total; ++i) {
            if (interrupted())
                return failed(QStringLiteral("interrupted: the device confirmed %1 of %2 writes of the backup; "
                                             "run the same restore again to finish").arg(i).arg(total));
            if (!m_session.write(writes[i]))
                return failed(QStringLiteral("write %1 (%2) failed: %3; the device confirmed %4 of %5 writes of the "
                                             "backup; run the same restore again to finish")
                                  .arg(writes[i].start)
                                  .arg(writes[i].field, m_session.lastError())
                                  .arg(i)
                                  .arg(total));
            m_report.progress(m_port, QStringLiteral("restore"), i + 1, total);
        }
        m_report.progressDone(m_port);
        const std::optional<std::vector<Mismatch>> mismatches = m_session.verify(all, progress(QStringLiteral("verify")));
        m_report.progressDone(m_port);
        if (!mismatches)
            return failed(QStringLiteral("the backup was written, but reading it back failed: %1").arg(m_session.lastError()));
        for (const Mismatch &m : *mismatches)
            m_report.error(m_port, QStringLiteral("restore: register %1 holds 0x%2, the backup 0x%3")
                                       .arg(m.address)
                                       .arg(registerHex(m.read), registerHex(m.written)));
        if (!mismatches->empty())
            return kExitDifferent;
        int registers = 0;
        for (const params::PlannedWrite &w : all)
            registers += static_cast<int>(w.registers.size());
        m_report.info(m_port, QStringLiteral("backup restored: %1 of %2 blocks written, all %3 registers read back the same")
                                  .arg(total)
                                  .arg(all.size())
                                  .arg(registers));
        return kExitDone;
    }

    const Options &m_o;
    Report &m_report;
    QString m_port;
    const config::Configuration *m_file;
    const backup::Backup *m_backup;
    PortSession m_session;
};

int listPorts(const Options &o, Report &report)
{
    const ports::PortTable table = ports::lookUpPorts();
    for (const QString &note : table.notes)
        report.error(QString(), note);
    auto portObject = [](const ports::SystemPort &p) {
        return QJsonObject{{"device", p.device},       {"byId", p.byId},
                           {"byPath", p.byPath},       {"description", p.description},
                           {"manufacturer", p.manufacturer}, {"serialNumber", p.serialNumber},
                           {"usbId", p.usbId()}};
    };
    // One object per line, each with its kind, for a script to read line by line.
    if (o.json) {
        for (const ports::Resolution &r : table.com)
            report.data(jsonLine(QJsonObject{{"kind", "com"},
                                             {"port", QStringLiteral("COM%1").arg(r.com)},
                                             {"device", r.device},
                                             {"rule", ports::ruleName(r.rule)}}));
        for (const ports::SystemPort &p : table.present) {
            QJsonObject device = portObject(p);
            device.insert(QStringLiteral("kind"), QStringLiteral("device"));
            report.data(jsonLine(device));
        }
        return kExitDone;
    }
    for (const ports::Resolution &r : table.com)
        report.data(ports::describe(r));
    report.data(table.present.isEmpty() ? QStringLiteral("no serial device present")
                                        : QStringLiteral("serial devices present:"));
    for (const ports::SystemPort &p : table.present) {
        QStringList about;
        for (const QString &s : {p.description, p.manufacturer, p.serialNumber, p.usbId(), p.byId})
            if (!s.isEmpty())
                about << s;
        report.data(QStringLiteral("  %1%2").arg(p.device, about.isEmpty() ? QString() : u' ' + about.join(QStringLiteral(", "))));
    }
    return kExitDone;
}

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
    // Never a FIFO or a device: that would wait for ever, or read something else.
    const filekind::Contents contents = filekind::readRegular(path, config::kMaxFileBytes);
    if (!contents.bytes) {
        report.error(path, contents.notAFile ? QStringLiteral("%1, not a regular file; not read").arg(safefile::kindName(*contents.notAFile))
                                             : QStringLiteral("cannot be read: %1").arg(contents.systemText));
        return std::nullopt;
    }
    if (contents.bytes->size() > config::kMaxFileBytes) {
        report.error(path, QStringLiteral("larger than 1 MiB: not a backup"));
        return std::nullopt;
    }
    const backup::ParseResult parsed = backup::parse(*contents.bytes);
    for (const QString &problem : parsed.problems)
        report.error(path, problem);
    return parsed.backup;
}

// COMn as the window resolves it, or a device path as given.
std::optional<PortTarget> resolveTarget(const QString &name, const ports::PortTable &table, const Options &o, Report &report)
{
    const PortTarget target = ports::targetOf(table, name);
    if (const std::optional<int> com = ports::comNumber(name); com && o.trace)
        report.error(QString(), QStringLiteral("PORT  ") + ports::describe(table.com[*com - kFirstPort]));
    if (target.device.isEmpty()) {
        report.error(target.name, target.missing == PortOpenFailure::Cause::NotADevice
                                      ? QStringLiteral("not a port name or device (COM1..COM7, or a path such as /dev/ttyUSB0)")
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
                          const backup::Backup *saved)
{
    // Ports are resolved once, here: the threads never touch the port map.
    const ports::PortTable table = ports::lookUpPorts();
    if (o.trace)
        for (const QString &note : table.notes)
            report.error(QString(), QStringLiteral("PORT  ") + note);
    std::vector<std::function<int()>> jobs(o.ports.size());
    for (qsizetype i = 0; i < o.ports.size(); ++i)
        if (const std::optional<PortTarget> target = resolveTarget(o.ports[i], table, o, report))
            jobs[i] = [&, target = *target] { return PortCommands(Job{o, report, target, file, saved}).run(); };
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

    std::optional<config::Configuration> file;
    if (o.command == Command::Write || o.command == Command::Diff) {
        // A refused file stops everything before any port is opened.
        const config::ParseResult parsed = config::readFile(o.file);
        if (!parsed.configuration) {
            for (const params::Problem &p : parsed.problems)
                report.error(o.file, problemText(p));
            return kExitUsage;
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
            printPlan(restoreWrites(*saved), report);
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
