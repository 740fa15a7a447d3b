// The exact reads: a list of blocks, one block, a whole configuration, and
// a read-back of what writes put into the device.
#include "DeviceSession.h"

#include "DeviceProfile.h"
#include "ParameterReader.h"
#include "RegisterMap.h"

#include <map>

namespace session {

namespace {

// Every register the parts read, by its address.
std::map<int, quint16> byAddress(const std::vector<ModbusLink::BlockValues> &parts)
{
    std::map<int, quint16> registers;
    for (const ModbusLink::BlockValues &part : parts)
        for (int k = 0; k < part.values.size(); ++k)
            registers[part.start + k] = part.values[k];
    return registers;
}

} // namespace

DeviceSession::DeviceSession(ModbusLink &link) : m_link(link)
{
    m_link.setProfile(deviceProfile());
}

LinkProblem DeviceSession::lastProblem() const
{
    return {m_link.lastFailure(), m_link.lastError(), m_link.lastRequest(), m_link.refusalCode()};
}

bool DeviceSession::probeStatus()
{
    return m_link.ReadRegisters(regmap::kStatusBlock.start, regmap::kStatusBlock.count);
}

Outcome<std::vector<ModbusLink::BlockValues>> DeviceSession::readFullRead(const std::vector<regmap::Block> &blocks,
                                                                          const Progress &progress)
{
    std::vector<ModbusLink::ReadBlock> reads;
    for (const regmap::Block &b : blocks)
        reads.push_back({b.start, b.count, !regmap::isDeviceOwnSlotRead(b)});
    return outcome(m_link.ReadBlocks(reads, progress));
}

Outcome<std::vector<ModbusLink::BlockValues>> DeviceSession::readBlocks(const std::vector<regmap::Block> &blocks,
                                                                        const Progress &progress)
{
    std::vector<ModbusLink::ReadBlock> reads;
    for (const regmap::Block &b : blocks)
        reads.push_back({b.start, b.count, true});
    return outcome(m_link.ReadBlocks(reads, progress));
}

Outcome<QVector<quint16>> DeviceSession::read(int start, int count)
{
    const Outcome<std::vector<ModbusLink::BlockValues>> got = readBlocks({{start, count}});
    if (!got)
        return {std::nullopt, got.problem};
    return {got->front().values, {}};
}

Outcome<DeviceConfiguration> DeviceSession::readConfiguration(const Progress &progress)
{
    // Each block in the full read's shapes, all in one exact read.
    const std::vector<regmap::Block> blocks = regmap::configurationBlocks();
    std::vector<regmap::Block> parts;
    for (const regmap::Block &b : blocks)
        for (const regmap::Block &part : regmap::readParts(b.start, b.count))
            parts.push_back(part);
    const Outcome<std::vector<ModbusLink::BlockValues>> got = readBlocks(parts, progress);
    if (!got)
        return {std::nullopt, got.problem};
    std::map<int, quint16> device = byAddress(*got);
    params::ParameterReader reader;
    for (const regmap::Block &b : blocks) {
        QVector<quint16> values;
        for (int a = b.start; a < b.start + b.count; ++a)
            values << device[a];
        reader.apply(b.start, values, b.count);
    }
    return {DeviceConfiguration{{reader.set(), reader.firmware()}, reader.reading()}, {}};
}

Outcome<std::vector<Mismatch>> DeviceSession::compare(const std::vector<params::PlannedWrite> &writes,
                                                      const Progress &progress)
{
    // The reads keep the full read's shapes: a text slot in parts of ten
    // from its start, even where the write ended inside one.
    const std::optional<std::vector<ModbusLink::RegisterMismatch>> differ = m_link.ReadBack(linkWrites(writes), progress);
    if (!differ)
        return {std::nullopt, lastProblem()};
    std::vector<Mismatch> mismatches;
    for (const ModbusLink::RegisterMismatch &m : *differ)
        mismatches.push_back({m.address, m.written, m.read, writes[m.write].field});
    return {mismatches, {}};
}

} // namespace session
