#pragma once
// The relay register (register 5): bit i is relay Qi. The one rule for
// switching a relay, the window's and the command line's alike, as the
// controllers are known to take it: switching on sets the bit and keeps
// every other one; switching off clears it and keeps only the other bits of
// the low byte, the high byte going to 0.

#include <QtGlobal>

namespace relaybits {

// The bit of relay (or input: register 4 holds the inputs the same way),
// 0 for one outside 0..7.
quint8 maskOf(int relay);

// Whether relay is on in bits (its bit of the low byte); an input, whether it is active.
bool isOn(quint16 bits, int relay);

// The register's new value with relay switched on or off.
quint16 switched(quint16 bits, int relay, bool on);

} // namespace relaybits
