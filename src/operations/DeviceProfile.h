#pragma once
// What the link is told of the controller: its slave address, the largest
// read and write it is known to answer, and the check reads the link's
// defence may send. From the register map; the link itself knows none of it.

#include "ModbusLink.h"

namespace session {

DeviceProfile deviceProfile();

} // namespace session
