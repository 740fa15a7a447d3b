#include "PortSession.h"

#include "CliText.h"
#include "ParameterReader.h"
#include "RegisterMap.h"

namespace cli {

PortSession::PortSession(const Target &target, const LinkSettings &settings) : m_target(target), m_settings(settings)
{
    m_link.setBaud(settings.baud);
    m_link.setResponseTimeoutMs(settings.timeoutMs);
    m_link.setTrace(settings.trace, target.name);
    m_link.setPortNumber(0); // the device was resolved already, once for every port
    m_link.setTypedPort(target.device);
    QObject::connect(&m_link, &ModbusLink::ReplyReceived,
                     [this](int, const QVector<quint16> &values, int) { m_reply = values; });
}

bool PortSession::open()
{
    if (m_link.OpenPort())
        return true;
    m_error = m_link.openFailure() ? openFailureText(*m_link.openFailure()) : m_link.lastError();
    return false;
}

std::optional<QVector<quint16>> PortSession::read(int start, int count)
{
    if (!m_link.ReadRegisters(regmap::kSlave, start, count, m_settings.attempts)) {
        m_error = QStringLiteral("read of %1 registers from %2 failed: %3").arg(count).arg(start).arg(m_link.lastError());
        return std::nullopt;
    }
    return m_reply;
}

bool PortSession::write(const params::PlannedWrite &w)
{
    const bool ok = w.single ? m_link.WriteRegister(regmap::kSlave, w.start, w.registers[0], m_settings.attempts)
                             : m_link.WriteRegisters(regmap::kSlave, w.start, w.registers,
                                                     static_cast<int>(w.registers.size()), m_settings.attempts);
    if (!ok)
        m_error = m_link.lastError();
    return ok;
}

bool PortSession::writeRegister(int address, quint16 value)
{
    if (m_link.WriteRegister(regmap::kSlave, address, value, m_settings.attempts))
        return true;
    m_error = QStringLiteral("write of register %1 failed: %2").arg(address).arg(m_link.lastError());
    return false;
}

std::optional<DeviceConfiguration> PortSession::readConfiguration(const std::function<void(int, int)> &progress)
{
    const std::vector<regmap::Block> blocks = regmap::configurationBlocks();
    int total = 0;
    for (const regmap::Block &b : blocks)
        total += (b.count + regmap::kTextReadCount - 1) / regmap::kTextReadCount;
    int done = 0;
    params::ParameterReader reader;
    for (const regmap::Block &b : blocks) {
        QVector<quint16> whole;
        for (int at = b.start; at < b.start + b.count; at += regmap::kTextReadCount) {
            const std::optional<QVector<quint16>> part = read(at, std::min(regmap::kTextReadCount, b.start + b.count - at));
            if (!part)
                return std::nullopt;
            whole += *part;
            progress(++done, total);
        }
        reader.apply(b.start, whole, static_cast<int>(whole.size()));
    }
    return DeviceConfiguration{{reader.set(), reader.firmware()}, reader.reading()};
}

std::optional<std::vector<Mismatch>> PortSession::verify(const std::vector<params::PlannedWrite> &writes,
                                                         const std::function<void(int, int)> &progress)
{
    std::vector<Mismatch> mismatches;
    int done = 0;
    for (const params::PlannedWrite &w : writes) {
        const int end = w.start + static_cast<int>(w.registers.size());
        for (int at = w.start; at < end; at += regmap::kTextReadCount) {
            const int count = std::min(regmap::kTextReadCount, end - at);
            const std::optional<QVector<quint16>> got = read(at, count);
            if (!got)
                return std::nullopt;
            for (int i = 0; i < count; ++i)
                if ((*got)[i] != w.registers[at - w.start + i])
                    mismatches.push_back({at + i, w.registers[at - w.start + i], (*got)[i], w.field});
        }
        progress(++done, static_cast<int>(writes.size()));
    }
    return mismatches;
}

} // namespace cli
