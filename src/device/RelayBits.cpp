#include "RelayBits.h"

namespace relaybits {

namespace {
constexpr quint16 kLowByte = 0x00FF;
} // namespace

quint8 maskOf(int relay)
{
    return relay >= 0 && relay < 8 ? static_cast<quint8>(1u << relay) : 0;
}

bool isOn(quint16 bits, int relay)
{
    return (bits & kLowByte & maskOf(relay)) != 0;
}

quint16 switched(quint16 bits, int relay, bool on)
{
    if (on)
        return static_cast<quint16>(bits | maskOf(relay));
    return static_cast<quint16>(bits & kLowByte & ~maskOf(relay));
}

} // namespace relaybits
