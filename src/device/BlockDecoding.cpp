#include "BlockDecoding.h"

#include "RegisterText.h"

#include <algorithm>

namespace blocks {

Role roleOf(int start)
{
    using regmap::RelayText;
    if (start == regmap::kStatusBlock.start)
        return {Kind::Status};
    for (int r = 0; r < regmap::kRelayCount; ++r)
        for (int k = 0; k < regmap::kRelayTextKinds; ++k)
            if (start == regmap::relayTextSlot(r, static_cast<RelayText>(k)))
                return {Kind::RelayText, r, static_cast<RelayText>(k)};
    for (int i = 0; i < regmap::kAllCommandCount; ++i)
        if (start == regmap::allCommandSlot(i))
            return {Kind::AllCommand, i};
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        if (start == regmap::alarmTextSlot(k))
            return {Kind::AlarmText, k};
    for (int p = 0; p < regmap::kPhoneSlots; ++p)
        if (start == regmap::phoneSlot(p))
            return {Kind::Phone, p};
    if (start == regmap::kActionTimes.start)
        return {Kind::ActionTimes};
    if (start == regmap::kOptionFlags)
        return {Kind::OptionFlags};
    if (start == regmap::kAlarmMode)
        return {Kind::AlarmMode};
    return {};
}

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

std::optional<params::CutText> cutText(const QVector<quint16> &values, int count)
{
    const int n = usable(values, count);
    if (n >= regmap::kSlotRegisters || !regtext::textFillsBlock(values, n))
        return std::nullopt;
    return params::CutText{decodeText(values, n), values.mid(0, n)};
}

} // namespace blocks
