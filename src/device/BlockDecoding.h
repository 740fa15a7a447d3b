#pragma once
// The decoding of each kind of block a read returns. The field table reads
// through these, and the window and the command line read the status block
// with decodeStatus.

#include "FieldCodecs.h"
#include "ParameterSet.h"

#include <QString>
#include <QVector>

#include <array>
#include <optional>

namespace blocks {

struct Status {
    qint16 inputs;
    qint16 relays;
    QString firmware; // "V1.5"
};

// Each gives nothing for a block with fewer values than it needs.
std::optional<Status> decodeStatus(const QVector<quint16> &values, int count);
std::optional<std::array<qint16, regmap::kRelayCount>> decodeActionTimes(const QVector<quint16> &values, int count);
std::optional<fields::OptionFlags> decodeOptionFlags(const QVector<quint16> &values, int count);
std::optional<params::AlarmMode> decodeAlarmMode(const QVector<quint16> &values, int count);

// The text of a text block, up to its first zero byte.
QString decodeText(const QVector<quint16> &values, int count);

} // namespace blocks
