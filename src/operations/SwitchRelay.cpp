// Switching one relay by the one rule of the relay register.
#include "DeviceSession.h"

#include "RegisterMap.h"
#include "RelayBits.h"
#include "WritePlan.h"

namespace session {

Outcome<quint16> DeviceSession::switchRelay(int relay, bool on, std::optional<quint16> shown)
{
    if (!shown) {
        const Outcome<QVector<quint16>> now = read(regmap::kRelayRegister, 1);
        if (!now)
            return {std::nullopt, now.problem};
        shown = now->front();
    }
    const quint16 value = relaybits::switched(*shown, relay, on);
    // A single write, read back unless its answer proves itself.
    params::PlannedWrite w{regmap::kRelayRegister, {value}, true, {}, QString(), QString(), false, false};
    return outcome(m_link.WriteBlocks(linkWrites({w})).ok ? std::optional<quint16>(value) : std::nullopt);
}

} // namespace session
