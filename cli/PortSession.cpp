#include "PortSession.h"

#include "CliText.h"
#include "Console.h"
#include "ParameterReader.h"
#include "RegisterMap.h"

#include <map>

namespace cli {

PortSession::PortSession(const PortTarget &target, const LinkSettings &settings)
{
    m_link.setSettings(settings);
    m_link.setTarget(target);
    m_link.setInterruptCheck([this] { return stopWaiting(); });
}

bool PortSession::stopWaiting()
{
    if (!interrupted())
        return false;
    if (!m_writing)
        return true;
    // A device that answers does so well within the grace: its answer makes
    // the count of confirmed writes right. A silent one is not waited for.
    if (!m_interruptSeen.isValid())
        m_interruptSeen.start();
    return m_interruptSeen.elapsed() >= kWriteGraceMs;
}

bool PortSession::open()
{
    if (m_link.OpenPort())
        return true;
    m_error = m_link.openFailure() ? openFailureText(*m_link.openFailure()) : m_link.lastError();
    return false;
}

// Every read goes through the link's exact read: a late reply to one request
// is never taken for another's. The values of the blocks, one after another.
std::optional<QVector<quint16>> PortSession::readBlocks(const std::vector<regmap::Block> &blocks,
                                                        const std::function<void(int, int)> &progress)
{
    const std::optional<std::vector<ModbusLink::BlockValues>> read = m_link.ReadBlocks(blocks, progress);
    if (!read) {
        m_error = linkFailureText(m_link.lastFailure(), m_link.lastError());
        return std::nullopt;
    }
    QVector<quint16> values;
    for (const ModbusLink::BlockValues &b : *read)
        values += b.values;
    return values;
}

std::optional<QVector<quint16>> PortSession::read(int start, int count)
{
    const std::optional<QVector<quint16>> values = readBlocks({{start, count}}, {});
    if (!values)
        m_error = QStringLiteral("read of %1 registers from %2 failed: %3").arg(count).arg(start).arg(m_error);
    return values;
}

ModbusLink::WriteResult PortSession::write(const std::vector<params::PlannedWrite> &writes,
                                           const std::function<bool(int)> &next)
{
    const Writing writing(m_writing);
    std::vector<ModbusLink::BlockWrite> blocks;
    for (const params::PlannedWrite &w : writes)
        blocks.push_back({w.start, w.registers, w.single});
    const ModbusLink::WriteResult result = m_link.WriteBlocks(blocks, next);
    if (!result.ok)
        m_error = linkFailureText(m_link.lastFailure(), m_link.lastError());
    return result;
}

bool PortSession::writeRegister(int address, quint16 value)
{
    const Writing writing(m_writing);
    if (m_link.WriteRegister(regmap::kSlave, address, value, ModbusLink::Retry::AsSet))
        return true;
    m_error = QStringLiteral("write of register %1 failed: %2")
                  .arg(address)
                  .arg(linkFailureText(m_link.lastFailure(), m_link.lastError()));
    return false;
}

std::optional<DeviceConfiguration> PortSession::readConfiguration(const std::function<void(int, int)> &progress)
{
    // Each block in parts of at most one text read, all read in one exact read.
    const std::vector<regmap::Block> blocks = regmap::configurationBlocks();
    std::vector<regmap::Block> parts;
    for (const regmap::Block &b : blocks)
        for (const regmap::Block &part : regmap::readParts(b.start, b.count))
            parts.push_back(part);
    const std::optional<QVector<quint16>> values = readBlocks(parts, progress);
    if (!values)
        return std::nullopt;
    params::ParameterReader reader;
    int offset = 0;
    for (const regmap::Block &b : blocks) {
        reader.apply(b.start, values->mid(offset, b.count), b.count);
        offset += b.count;
    }
    return DeviceConfiguration{{reader.set(), reader.firmware()}, reader.reading()};
}

std::optional<std::vector<Mismatch>> PortSession::verify(const std::vector<params::PlannedWrite> &writes,
                                                         const std::function<void(int, int)> &progress)
{
    // The reads keep the full read's shapes: a text slot in parts of ten
    // from its start, even where the write ended inside one.
    std::vector<regmap::Block> parts;
    for (const params::PlannedWrite &w : writes)
        for (const regmap::Block &part : regmap::readParts(w.start, static_cast<int>(w.registers.size())))
            parts.push_back(part);
    const std::optional<QVector<quint16>> got = readBlocks(parts, progress);
    if (!got)
        return std::nullopt;
    std::map<int, quint16> device;
    int offset = 0;
    for (const regmap::Block &part : parts) {
        for (int k = 0; k < part.count; ++k)
            device[part.start + k] = (*got)[offset + k];
        offset += part.count;
    }
    std::vector<Mismatch> mismatches;
    for (const params::PlannedWrite &w : writes)
        for (int k = 0; k < w.registers.size(); ++k)
            if (device[w.start + k] != w.registers[k])
                mismatches.push_back({w.start + k, w.registers[k], device[w.start + k], w.field});
    return mismatches;
}

} // namespace cli
