#pragma once
// A factory-fresh controller's registers: the field table's factory values
// (params::factorySet) as the write plan encodes them, and the firmware
// version. The simulator starts from it, and the tests build on it.

#include <QtGlobal>

#include <vector>

namespace factory {

constexpr int kFirmwareVersion = 0x0015; // V1.5

// Registers 0..1099 of a factory-fresh controller.
std::vector<quint16> registerImage();

} // namespace factory
