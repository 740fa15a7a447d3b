#pragma once
// Builds a parameter set from read replies, each decoded by the field table:
// the phone list starts afresh at the first phone slot, the password comes
// from the last switch-on command read, an empty all-on or all-off block
// keeps what the set held. It keeps every block as read, for the write.

#include "DeviceReading.h"
#include "FieldTable.h"
#include "ParameterSet.h"

#include <QString>
#include <QVector>

#include <map>
#include <vector>

namespace params {

class ParameterReader {
public:
    explicit ParameterReader(ParameterSet start = startUpSet()) : m_set(std::move(start)) {}

    // One answered read; element k of values is the register at start + k.
    // A text slot may be read whole (20 registers) or in part. Gives the
    // fields the block set, in the table's order: none for a block too short
    // for its fields.
    std::vector<const Field *> apply(int start, const QVector<quint16> &values, int count);

    const ParameterSet &set() const { return m_set; }
    // The firmware version of the last status block, "" before one was read.
    QString firmware() const { return m_firmware; }
    // Every block applied, as read, with the set they gave.
    DeviceReading reading() const { return {m_blocks, m_set}; }

private:
    ParameterSet m_set;
    QString m_firmware;
    std::map<int, QVector<quint16>> m_blocks;
};

} // namespace params
