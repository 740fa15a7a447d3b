#include "ParameterReader.h"

#include "BlockDecoding.h"
#include "FieldCodecs.h"

namespace params {

void ParameterReader::apply(int start, const QVector<quint16> &values, int count)
{
    using regmap::RelayText;
    const blocks::Role role = blocks::roleOf(start);
    if (regmap::isTextField(start)) {
        if (std::optional<CutText> cut = blocks::cutText(values, count))
            m_set.cutTexts[start] = *cut;
        else
            m_set.cutTexts.erase(start);
    }
    const QString text = blocks::decodeText(values, count);
    switch (role.kind) {
    case blocks::Kind::Status:
        if (const auto status = blocks::decodeStatus(values, count))
            m_firmware = status->firmware;
        break;
    case blocks::Kind::RelayText: {
        RelaySettings &relay = m_set.relays[role.index];
        switch (role.relayText) {
        case RelayText::OnCommand: {
            const fields::OnCommand on = fields::splitOnCommand(text);
            relay.on = on.command;
            m_set.password = on.password;
            break;
        }
        case RelayText::OffCommand: relay.off = fields::splitOffCommand(text); break;
        case RelayText::OnReply: relay.onReply = text; break;
        case RelayText::OffReply: relay.offReply = text; break;
        }
        break;
    }
    case blocks::Kind::AllCommand:
        if (const std::optional<QString> command = fields::allCommandFromSlot(text))
            (role.index == 0 ? m_set.allOn : m_set.allOff) = *command;
        break;
    case blocks::Kind::AlarmText:
        m_set.alarmTexts[role.index] = text;
        break;
    case blocks::Kind::Phone:
        if (role.index == 0)
            m_set.phones.clear();
        if (const std::optional<QString> entry = fields::phoneEntryFromSlot(text))
            m_set.phones << *entry;
        break;
    case blocks::Kind::ActionTimes:
        if (const auto times = blocks::decodeActionTimes(values, count))
            for (int r = 0; r < regmap::kRelayCount; ++r)
                m_set.relays[r].actionTime = (*times)[r];
        break;
    case blocks::Kind::OptionFlags:
        if (const auto flags = blocks::decodeOptionFlags(values, count)) {
            m_set.powerLossMemory = flags->hold;
            m_set.phoneAlarm = flags->phoneAlarm;
        }
        break;
    case blocks::Kind::AlarmMode:
        if (const auto mode = blocks::decodeAlarmMode(values, count))
            m_set.alarmMode = *mode;
        break;
    case blocks::Kind::Other:
        break;
    }
}

} // namespace params
