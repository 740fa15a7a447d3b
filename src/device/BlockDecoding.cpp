#include "BlockDecoding.h"

#include "RegisterMap.h"
#include "RegisterText.h"

#include <algorithm>

namespace blocks {

namespace {
int usable(const QVector<quint16> &values, int count)
{
    return std::clamp<int>(count, 0, static_cast<int>(values.size()));
}
} // namespace

std::optional<Status> decodeStatus(const QVector<quint16> &values, int count)
{
    if (usable(values, count) < regmap::kStatusBlock.count)
        return std::nullopt;
    return Status{static_cast<qint16>(values[regmap::kInputsOffset]), static_cast<qint16>(values[regmap::kRelaysOffset]),
                  fields::firmwareVersionText(values[regmap::kVersionOffset])};
}

std::optional<std::array<qint16, regmap::kRelayCount>> decodeActionTimes(const QVector<quint16> &values, int count)
{
    if (usable(values, count) < regmap::kRelayCount)
        return std::nullopt;
    std::array<qint16, regmap::kRelayCount> times{};
    for (int r = 0; r < regmap::kRelayCount; ++r)
        times[r] = static_cast<qint16>(values[r]);
    return times;
}

std::optional<fields::OptionFlags> decodeOptionFlags(const QVector<quint16> &values, int count)
{
    if (usable(values, count) < 1)
        return std::nullopt;
    return fields::decodeOptionFlags(values[0]);
}

std::optional<params::AlarmMode> decodeAlarmMode(const QVector<quint16> &values, int count)
{
    if (usable(values, count) < 1)
        return std::nullopt;
    return params::modeFromChoice(fields::decodeAlarmMode(values[0]));
}

QString decodeText(const QVector<quint16> &values, int count)
{
    return regtext::decodeTextBlock(values, usable(values, count));
}

} // namespace blocks
