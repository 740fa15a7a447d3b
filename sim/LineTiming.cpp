#include "LineTiming.h"

namespace sim {

std::chrono::microseconds wireTime(int requestBytes, int replyBytes, int baud)
{
    if (baud <= 0)
        return std::chrono::microseconds(0);
    // (request + reply) characters and 3.5 of silence, 10 bits each.
    const long long bits = (static_cast<long long>(requestBytes) + replyBytes) * 10 + 35;
    // Round up so the emulated line is never faster than the real one.
    return std::chrono::microseconds((bits * 1'000'000 + baud - 1) / baud);
}

} // namespace sim
