#pragma once
// Which serial device stands behind COM1..COM7.

#include <QString>
#include <optional>

constexpr int kFirstPort = 1;
constexpr int kLastPort = 7;

// Linux: $ALARMCFG_COM<n> when set (e.g. /dev/ttyUSB0), else /dev/ttyS<n-1>.
// Windows: \\.\COM<n>. Nothing for a number outside 1..7.
std::optional<QString> portDevicePath(int port);
