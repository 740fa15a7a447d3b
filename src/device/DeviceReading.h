#pragma once
// What a full read found on the device: each block's registers as read, and
// the parameter set that read gave. A write sends back as read whatever is
// still unchanged since, so the device keeps what the tool does not show.

#include "ParameterSet.h"

#include <QVector>

#include <map>

namespace params {

struct DeviceReading {
    std::map<int, QVector<quint16>> blocks; // start address -> the registers as read
    ParameterSet shown;                     // the set right after the read
};

} // namespace params
