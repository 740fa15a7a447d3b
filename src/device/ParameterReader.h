#pragma once
// Builds a parameter set from read replies, applying each one the way the
// window applies it to its controls: the phone list starts afresh at the
// first phone slot, the password comes from the last switch-on command read,
// an empty all-on or all-off block keeps what the set held.

#include "ParameterSet.h"

#include <QString>
#include <QVector>

namespace params {

class ParameterReader {
public:
    explicit ParameterReader(ParameterSet start = startUpSet()) : m_set(std::move(start)) {}

    // One answered read; element k of values is the register at start + k.
    // A text slot may be read whole (20 registers) or in part.
    void apply(int start, const QVector<quint16> &values, int count);

    const ParameterSet &set() const { return m_set; }
    // The firmware version of the last status block, "" before one was read.
    QString firmware() const { return m_firmware; }

private:
    ParameterSet m_set;
    QString m_firmware;
};

} // namespace params
