#include "FactoryDefaults.h"

#include "RegisterMap.h"
#include "WritePlan.h"

#include <algorithm>

namespace factory {

std::vector<quint16> registerImage()
{
    // What no field is stored in is zero.
    std::vector<quint16> image(regmap::kImageRegisters, 0);
    image[regmap::kStatusBlock.start + regmap::kVersionOffset] = kFirmwareVersion;
    for (const params::PlannedWrite &w : params::planWrites(params::factorySet()))
        std::copy(w.registers.begin(), w.registers.end(), image.begin() + w.start);
    return image;
}

} // namespace factory
