#include "Commands.h"

#include "CliText.h"
#include "ConfigFile.h"
#include "FieldCodecs.h"
#include "Console.h"
#include "PortSession.h"
#include "Report.h"
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
#include <thread>

namespace cli {

namespace {

constexpr int kWatchIntervalMs = 1000;
constexpr int kInterruptLookMs = 50;

// A port's name fit for a file name: "/dev/ttyUSB0" becomes "dev-ttyUSB0".
QString fileNamePart(const QString &port)
{
    QString part = port;
    part.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
    return part.remove(QRegularExpression(QStringLiteral("^-+|-+$")));
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
};

class PortCommands {
public:
    explicit PortCommands(const Job &job)
        : m_o(job.options), m_report(job.report), m_port(job.target.name), m_file(job.file),
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
        case Command::Write: return write(m_file->set);
        case Command::Diff: return diff();
        case Command::Relay: return relay();
        case Command::Factory: return factory();
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

    std::optional<config::Configuration> readWhole()
    {
        std::optional<config::Configuration> c = m_session.readConfiguration(progress(QStringLiteral("read")));
        m_report.progressDone(m_port);
        return c;
    }

    int read()
    {
        const std::optional<config::Configuration> c = readWhole();
        if (!c)
            return failed(m_session.lastError());
        const QByteArray text = config::serialize(c->set, c->firmware, QDateTime::currentDateTime());
        if (m_o.output.isEmpty()) {
            m_report.data(QString::fromUtf8(text).chopped(1));
            return kExitDone;
        }
        QString path = m_o.output;
        if (m_o.ports.size() > 1) {
            const QFileInfo info(path);
            const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
            path = info.dir().filePath(info.completeBaseName() + u'-' + fileNamePart(m_port) + suffix);
        }
        QString error;
        if (!config::writeFile(path, text, &error))
            return failed(QStringLiteral("cannot save %1: %2").arg(path, error));
        m_report.info(m_port, QStringLiteral("configuration saved to %1").arg(path));
        return kExitDone;
    }

    // The device's configuration as it is now, kept where a failed write can be undone from.
    std::optional<QString> backUp()
    {
        const std::optional<config::Configuration> c = readWhole();
        if (!c) {
            failed(QStringLiteral("no backup, nothing written: %1").arg(m_session.lastError()));
            return std::nullopt;
        }
        const QDir dir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/backups"));
        const QDateTime now = QDateTime::currentDateTime();
        const QString path = dir.filePath(QStringLiteral("%1-%2.json")
                                              .arg(now.toString(QStringLiteral("yyyyMMdd-HHmmss")), fileNamePart(m_port)));
        QString error;
        if (!QDir().mkpath(dir.path()) || !config::writeFile(path, config::serialize(c->set, c->firmware, now), &error)) {
            failed(QStringLiteral("no backup, nothing written: cannot save %1: %2").arg(path, error));
            return std::nullopt;
        }
        // As the system writes paths: C:\Users\... on Windows, for the command that puts it back.
        const QString shown = QDir::toNativeSeparators(path);
        m_report.info(m_port, QStringLiteral("backup saved to %1").arg(shown));
        return shown;
    }

    QString restoreCommand(const QString &backup) const
    {
        QStringList words = {QStringLiteral("alarmcfg-cli"), QStringLiteral("write"), QStringLiteral("--no-backup"),
                             QStringLiteral("-p"), m_port};
        if (m_o.baud != 9600)
            words << QStringLiteral("-b") << QString::number(m_o.baud);
        words << backup;
        std::transform(words.begin(), words.end(), words.begin(), commandWord);
        return words.join(u' ');
    }

    int write(const params::ParameterSet &set)
    {
        std::optional<QString> backup;
        if (!m_o.noBackup && !(backup = backUp()))
            return kExitDevice;
        const std::vector<params::PlannedWrite> writes = params::planWrites(set);
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
            if (!m_session.write(w))
                return failed(QStringLiteral("write %1 (%2) failed: %3; the device confirmed %4 of %5 writes%6")
                                  .arg(w.start)
                                  .arg(w.field, m_session.lastError())
                                  .arg(i)
                                  .arg(total)
                                  .arg(undo()));
            m_report.progress(m_port, QStringLiteral("write"), i + 1, total);
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
        const std::optional<config::Configuration> c = readWhole();
        if (!c)
            return failed(m_session.lastError());
        const std::vector<params::Difference> diffs = params::differences(c->set, m_file->set);
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
        const std::optional<config::Configuration> c = readWhole();
        if (!c)
            return failed(m_session.lastError());
        params::ParameterSet set = c->set;
        params::applyFactoryTable(set);
        const std::vector<params::Problem> problems = params::checkParameters(set);
        if (!problems.empty()) {
            for (const params::Problem &p : problems)
                m_report.error(m_port, QStringLiteral("factory set refused, nothing written: %1").arg(problemText(p)));
            return kExitUsage;
        }
        return write(set);
    }

    const Options &m_o;
    Report &m_report;
    QString m_port;
    const config::Configuration *m_file;
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
    if (o.json) {
        QJsonArray coms, present;
        for (const ports::Resolution &r : table.com)
            coms.append(QJsonObject{{"port", QStringLiteral("COM%1").arg(r.com)},
                                    {"device", r.device},
                                    {"rule", ports::ruleName(r.rule)}});
        for (const ports::SystemPort &p : table.present)
            present.append(portObject(p));
        report.data(QString::fromUtf8(QJsonDocument(QJsonObject{{"com", coms}, {"present", present}}).toJson()).chopped(1));
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

void printPlan(const params::ParameterSet &set, Report &report)
{
    for (const params::PlannedWrite &w : params::planWrites(set)) {
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

int run(const Options &o)
{
    Report report(o.quiet);
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
            printPlan(file->set, report);
            return kExitDone;
        }
    }

    // Ports are resolved once, here: the threads never touch the port map.
    const ports::PortTable table = ports::lookUpPorts();
    std::vector<int> results(o.ports.size(), kExitDevice);
    std::vector<std::thread> threads;
    for (qsizetype i = 0; i < o.ports.size(); ++i) {
        const std::optional<PortTarget> target = resolveTarget(o.ports[i], table, o, report);
        if (!target)
            continue;
        threads.emplace_back([&, i, target = *target] {
            PortCommands commands(Job{o, report, target, file ? &*file : nullptr});
            results[i] = commands.run();
        });
    }
    for (std::thread &t : threads)
        t.join();
    return *std::max_element(results.begin(), results.end());
}

} // namespace cli
