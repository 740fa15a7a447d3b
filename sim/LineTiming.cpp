#include "LineTiming.h"

#include "ModbusRtu.h"

namespace sim {

std::chrono::microseconds wireTime(int requestBytes, int replyBytes, int baud)
{
    if (baud <= 0)
        return std::chrono::microseconds(0);
    // Rounded up, so the emulated line is never faster than the real one.
    const long long bits = (static_cast<long long>(requestBytes) + replyBytes) * rtu::kBitsPerCharacter;
    return std::chrono::microseconds((bits * 1'000'000 + baud - 1) / baud) + rtu::frameGap(baud);
}

} // namespace sim
