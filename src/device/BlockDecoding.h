#pragma once
// What a read reply carries, told by its start address alone, and the
// decoding of each kind of block. The window's reply handling and the
// parameter set reader both use these, so the two read a device alike.

#include "FieldCodecs.h"
#include "ParameterSet.h"
#include "RegisterMap.h"

#include <QString>
#include <QVector>

#include <array>
#include <optional>

namespace blocks {

enum class Kind { Other, Status, RelayText, AllCommand, AlarmText, Phone, ActionTimes, OptionFlags, AlarmMode };

struct Role {
    Kind kind = Kind::Other;
    int index = 0; // relay, all-on/all-off, alarm text or phone slot
    regmap::RelayText relayText = regmap::RelayText::OnCommand;
};

Role roleOf(int start);

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
// A text block that ends before its slot does and holds no zero byte: the
// text may go on in the device, so its registers are kept for the write.
std::optional<params::CutText> cutText(const QVector<quint16> &values, int count);

} // namespace blocks
