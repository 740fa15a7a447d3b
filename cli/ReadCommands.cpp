// The commands that only read a controller: status (and watching it), read
// and diff.
#include "PortCommands.h"

#include "BlockDecoding.h"
#include "CliText.h"
#include "Commands.h"
#include "Console.h"
#include "RegisterMap.h"
#include "RelayBits.h"
#include "SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>

namespace cli {

namespace {

constexpr int kWatchIntervalMs = 1000;
constexpr int kInterruptLookMs = 50;

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

// Waits out the watch's interval; false once interrupted.
bool waitInterval()
{
    for (int waited = 0; waited < kWatchIntervalMs; waited += kInterruptLookMs) {
        if (interrupted())
            return false;
        QThread::msleep(kInterruptLookMs);
    }
    return !interrupted();
}

} // namespace

void PortCommands::watchLine(const QString &line)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
    m_report.data(m_o.json ? line : stamp + u' ' + line);
}

int PortCommands::status()
{
    QString last;
    for (int failures = 0;;) {
        const session::Outcome<QVector<quint16>> values =
            m_session.device().read(regmap::kStatusBlock.start, regmap::kStatusBlock.count);
        if (!values && interrupted())
            return kExitDone;
        if (!values && (!m_o.watch || ++failures >= kWatchFailuresInARow))
            return failed(m_o.watch ? QStringLiteral("%1 reads in a row failed, the last: %2")
                                          .arg(kWatchFailuresInARow)
                                          .arg(readFailedText(values.problem))
                                    : readFailedText(values.problem));
        if (!values) {
            // A lost reply is a line of its own; the watch goes on.
            watchLine(m_o.json ? jsonLine(QJsonObject{{"port", m_port}, {"error", readFailedText(values.problem)}})
                               : QStringLiteral("%1 no status: %2").arg(m_port, readFailedText(values.problem)));
            last.clear();
            if (!m_report.outputFailure().isEmpty())
                return kExitDevice;
            if (!waitInterval())
                return kExitDone;
            continue;
        }
        failures = 0;
        const std::optional<blocks::Status> s = blocks::decodeStatus(*values, regmap::kStatusBlock.count);
        if (!s)
            return failed(QStringLiteral("status reply too short: %1 registers").arg(values->size()));
        auto bit = [](qint16 bits, int i) { return relaybits::isOn(static_cast<quint16>(bits), i); };
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
            watchLine(line);
            last = line;
        }
        if (!waitInterval())
            return kExitDone;
    }
}

session::Outcome<session::DeviceConfiguration> PortCommands::readWhole()
{
    session::Outcome<session::DeviceConfiguration> c = m_session.device().readConfiguration(progress(QStringLiteral("read")));
    m_report.progressDone(m_port);
    return c;
}

int PortCommands::read()
{
    const session::Outcome<session::DeviceConfiguration> device = readWhole();
    if (!device)
        return failed(linkFailureText(device.problem));
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

int PortCommands::diff()
{
    const session::Outcome<session::DeviceConfiguration> device = readWhole();
    if (!device)
        return failed(linkFailureText(device.problem));
    const std::vector<params::Difference> diffs = params::differences(device->configuration.set, m_file->set);
    if (m_o.json) {
        QJsonArray array;
        for (const params::Difference &d : diffs)
            array.append(QJsonObject{{"field", d.field}, {"device", d.first}, {"file", d.second}});
        m_report.data(jsonLine(QJsonObject{{"port", m_port}, {"differences", array}}));
    } else {
        for (const params::Difference &d : diffs)
            m_report.data(QStringLiteral("%1 %2: device %3, file %4").arg(m_port, d.field, shellQuoted(d.first), shellQuoted(d.second)));
    }
    m_report.info(m_port, diffs.empty() ? QStringLiteral("the device holds the file's configuration")
                                        : QStringLiteral("%1 fields differ").arg(diffs.size()));
    return diffs.empty() ? kExitDone : kExitDifferent;
}

} // namespace cli
