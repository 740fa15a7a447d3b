// Switching one relay by the one rule of the relay register.
#include "DeviceSession.h"

#include "RegisterMap.h"
#include "RelayBits.h"

namespace session {

std::optional<quint16> DeviceSession::switchRelay(int relay, bool on, std::optional<quint16> shown)
{
    if (!shown) {
        const std::optional<QVector<quint16>> now = read(regmap::kRelayRegister, 1);
        if (!now)
            return std::nullopt;
        shown = now->front();
    }
    const quint16 value = relaybits::switched(*shown, relay, on);
    if (!m_link.WriteRegister(regmap::kSlave, regmap::kRelayRegister, value, ModbusLink::Retry::AsSet))
        return std::nullopt;
    return value;
}

} // namespace session
