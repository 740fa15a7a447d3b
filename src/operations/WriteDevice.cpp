// Writing a parameter set: the device read whole, its backup saved, the set
// checked against it, then the 22 writes, each confirmed before the next.
#include "DeviceSession.h"

#include "FactoryDefaults.h"
#include "SystemPorts.h"

#include <QDateTime>
#include <QDir>

namespace session {

std::vector<ModbusLink::BlockWrite> DeviceSession::linkWrites(const std::vector<params::PlannedWrite> &writes)
{
    std::vector<ModbusLink::BlockWrite> out;
    for (const params::PlannedWrite &w : writes) {
        ModbusLink::BlockWrite b{w.start, w.registers, w.single, {}};
        for (const regmap::Block &p : regmap::readParts(w.start, static_cast<int>(w.registers.size())))
            b.readBack.push_back({p.start, p.count});
        out.push_back(b);
    }
    return out;
}

namespace {

// The device's registers as read, under a name no other backup has.
std::optional<QString> saveBackup(const DeviceConfiguration &device, const WriteOptions &options, QString *error)
{
    backup::Backup b;
    b.port = options.port;
    b.firmware = device.configuration.firmware;
    b.saved = QDateTime::currentDateTime();
    for (const regmap::Block &block : backup::backupBlocks())
        b.blocks[block.start] = device.reading.blocks.at(block.start);
    b.set = device.configuration.set;
    const QString folder = options.backupFolder.isEmpty() ? backup::defaultFolder() : options.backupFolder;
    // Every spelling of one port gives its backups one name.
    const std::optional<QString> path = backup::saveNew(folder, b, error, ports::portKey(options.port));
    if (!path)
        return std::nullopt;
    return QDir::toNativeSeparators(*path);
}

} // namespace

WriteResult DeviceSession::write(const params::ParameterSet &set, const WriteOptions &options)
{
    // Read first, backup or not: what the device holds decides which fields
    // go back as read, and the backup is what was there.
    Outcome<DeviceConfiguration> before = readConfiguration(options.readProgress);
    if (!before) {
        WriteResult result;
        result.problem = before.problem;
        return result;
    }
    return writeAfterRead(set, options, std::move(*before));
}

WriteResult DeviceSession::writeAfterRead(const params::ParameterSet &set, const WriteOptions &options,
                                          DeviceConfiguration before)
{
    WriteResult result;
    result.before = std::move(before);
    if (options.backUp) {
        result.backupPath = saveBackup(*result.before, options, &result.backupError);
        if (!result.backupPath) {
            result.stage = WriteResult::Stage::NoBackup;
            return result;
        }
        if (options.backedUp)
            options.backedUp(*result.backupPath);
    }
    const params::DeviceReading &reading = options.plannedAgainst ? *options.plannedAgainst : result.before->reading;
    result.problems = params::checkParameters(set, &reading);
    if (!result.problems.empty()) {
        result.stage = WriteResult::Stage::Refused;
        return result;
    }
    result.writes = params::planWrites(set, &reading);
    const int total = result.total();
    if (options.stop && options.stop()) {
        result.stage = WriteResult::Stage::Stopped;
        result.problem = {LinkFailure::Interrupted, QStringLiteral("interrupted"), {}, 0};
        return result;
    }
    const ModbusLink::WriteResult sent = m_link.WriteBlocks(linkWrites(result.writes), [&](int confirmed) {
        if (options.afterWrite)
            options.afterWrite(result.writes[confirmed - 1], confirmed, total);
        return !options.stop || !options.stop();
    });
    result.confirmed = sent.confirmed;
    if (!sent.ok) {
        result.stage = WriteResult::Stage::Stopped;
        result.problem = lastProblem();
        return result;
    }
    result.stage = WriteResult::Stage::Done;
    return result;
}

WriteResult DeviceSession::writeFactory(const WriteOptions &options)
{
    // The factory table goes onto what the device holds: its mode, options
    // and all-on and all-off commands stay. Read first, to know them.
    Outcome<DeviceConfiguration> device = readConfiguration(options.readProgress);
    if (!device) {
        WriteResult result;
        result.problem = device.problem;
        return result;
    }
    params::ParameterSet set = device->configuration.set;
    params::applyFactoryTable(set);
    return writeAfterRead(set, options, std::move(*device));
}

} // namespace session
