#include "PortSession.h"

#include "CliText.h"
#include "Console.h"
#include "ParameterReader.h"
#include "RegisterMap.h"

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
        m_error = m_link.lastError();
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

bool PortSession::write(const params::PlannedWrite &w)
{
    const Writing writing(m_writing);
    const bool ok = w.single ? m_link.WriteRegister(regmap::kSlave, w.start, w.registers[0], ModbusLink::Retry::AsSet)
                             : m_link.WriteRegisters(regmap::kSlave, w.start, w.registers,
                                                     static_cast<int>(w.registers.size()), ModbusLink::Retry::AsSet);
    if (!ok)
        m_error = m_link.lastError();
    return ok;
}

bool PortSession::writeRegister(int address, quint16 value)
{
    const Writing writing(m_writing);
    if (m_link.WriteRegister(regmap::kSlave, address, value, ModbusLink::Retry::AsSet))
        return true;
    m_error = QStringLiteral("write of register %1 failed: %2").arg(address).arg(m_link.lastError());
    return false;
}

std::optional<DeviceConfiguration> PortSession::readConfiguration(const std::function<void(int, int)> &progress)
{
    // Each block in parts of at most one text read, all read in one exact read.
    const std::vector<regmap::Block> blocks = regmap::configurationBlocks();
    std::vector<regmap::Block> parts;
    for (const regmap::Block &b : blocks)
        for (int at = b.start; at < b.start + b.count; at += regmap::kTextReadCount)
            parts.push_back({at, std::min(regmap::kTextReadCount, b.start + b.count - at)});
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
    std::vector<regmap::Block> parts;
    std::vector<std::pair<const params::PlannedWrite *, int>> origin; // the write and its first register of each part
    for (const params::PlannedWrite &w : writes) {
        const int end = w.start + static_cast<int>(w.registers.size());
        for (int at = w.start; at < end; at += regmap::kTextReadCount) {
            parts.push_back({at, std::min(regmap::kTextReadCount, end - at)});
            origin.push_back({&w, at - w.start});
        }
    }
    const std::optional<QVector<quint16>> got = readBlocks(parts, progress);
    if (!got)
        return std::nullopt;
    std::vector<Mismatch> mismatches;
    int offset = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        const params::PlannedWrite &w = *origin[i].first;
        for (int k = 0; k < parts[i].count; ++k) {
            const quint16 written = w.registers[origin[i].second + k];
            const quint16 read = (*got)[offset + k];
            if (read != written)
                mismatches.push_back({parts[i].start + k, written, read, w.field});
        }
        offset += parts[i].count;
    }
    return mismatches;
}

} // namespace cli
