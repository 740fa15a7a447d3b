#include "WritePlan.h"

#include "FieldCodecs.h"
#include "RegisterText.h"

#include <algorithm>

namespace params {

QString alarmTextKey(int k)
{
    static const char *const keys[regmap::kAlarmTexts] = {"channel1Closing", "channel2Closing", "channel1Opening",
                                                          "channel2Opening"};
    return QString::fromLatin1(keys[k]);
}

QString relayFieldPath(int relay, regmap::RelayText kind)
{
    static const char *const keys[regmap::kRelayTextKinds] = {"on", "off", "onReply", "offReply"};
    return QStringLiteral("parameters.relays[%1].%2").arg(relay).arg(QLatin1String(keys[static_cast<int>(kind)]));
}

QString passwordPath() { return QStringLiteral("parameters.password"); }
QString allCommandPath(int i) { return i == 0 ? QStringLiteral("parameters.allOn") : QStringLiteral("parameters.allOff"); }
QString alarmTextPath(int k) { return QStringLiteral("parameters.alarmTexts.") + alarmTextKey(k); }
QString phonePath(int p) { return QStringLiteral("parameters.phones[%1]").arg(p); }
QString actionTimePath(int relay) { return QStringLiteral("parameters.relays[%1].actionTime").arg(relay); }
QString alarmModePath() { return QStringLiteral("parameters.alarmMode"); }
QString optionsPath() { return QStringLiteral("parameters.powerLossMemory, parameters.phoneAlarm"); }

std::vector<SlotText> composeSlotTexts(const ParameterSet &set)
{
    using regmap::RelayText;
    std::vector<SlotText> texts;
    auto add = [&](int slot, bool commandLimit, const QString &text, const QString &field, int phoneIndex = -1) {
        const auto cut = set.cutTexts.find(slot);
        const CutText *kept = cut != set.cutTexts.end() && cut->second.text == text ? &cut->second : nullptr;
        texts.push_back({slot, commandLimit, text, field, kept, phoneIndex});
    };
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        const RelaySettings &relay = set.relays[r];
        const QString stored[regmap::kRelayTextKinds] = {fields::composeCommand(set.password, relay.on),
                                                         fields::composeCommand(set.password, relay.off),
                                                         relay.onReply, relay.offReply};
        for (int k = 0; k < regmap::kRelayTextKinds; ++k) {
            const auto kind = static_cast<RelayText>(k);
            add(regmap::relayTextSlot(r, kind), true, stored[k], relayFieldPath(r, kind));
        }
    }
    for (int i = 0; i < regmap::kAllCommandCount; ++i)
        add(regmap::allCommandSlot(i), true, fields::composeCommand(set.password, i == 0 ? set.allOn : set.allOff),
            allCommandPath(i));
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        add(regmap::alarmTextSlot(k), false, set.alarmTexts[k], alarmTextPath(k));
    for (int p = 0; p < regmap::kPhoneSlots; ++p) {
        if (p < set.phones.size())
            add(regmap::phoneSlot(p), false, fields::phoneSlotText(set.phones[p]), phonePath(p), p);
        else
            add(regmap::phoneSlot(p), false, fields::emptyPhoneSlotText(), phonePath(p));
    }
    return texts;
}

namespace {

// Bytes a text may fill: a command or reply stays below 20 bytes so that it
// is read back whole, with its end; an alarm text or phone number may fill
// its whole slot.
int capacity(bool commandLimit)
{
    return commandLimit ? regmap::kCommandBytesLimit : regmap::kSlotBytes;
}

bool fits(bool commandLimit, const QByteArray &bytes)
{
    const int n = static_cast<int>(bytes.size());
    return commandLimit ? n < capacity(true) : n <= capacity(false);
}

} // namespace

std::vector<Problem> checkParameters(const ParameterSet &set)
{
    using regmap::RelayText;
    std::vector<Problem> problems;
    if (set.password.size() > fields::kMaxPasswordChars)
        problems.push_back({Problem::PasswordTooLong, passwordPath(), set.password});

    // Reading splits every command at "*": one inside would come back cut.
    std::vector<std::pair<QString, QString>> separated = {{set.password, passwordPath()}};
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        separated.push_back({set.relays[r].on, relayFieldPath(r, RelayText::OnCommand)});
        separated.push_back({set.relays[r].off, relayFieldPath(r, RelayText::OffCommand)});
    }
    separated.push_back({set.allOn, allCommandPath(0)});
    separated.push_back({set.allOff, allCommandPath(1)});
    for (const auto &[text, field] : separated)
        if (fields::holdsPasswordSeparator(text))
            problems.push_back({Problem::HoldsPasswordSeparator, field, text});

    // A text the device holds longer than it was read goes back as read, unchecked.
    const std::vector<SlotText> texts = composeSlotTexts(set);
    std::vector<regtext::GbkText> encoded;
    for (const SlotText &t : texts)
        encoded.push_back(regtext::encodeGbk(t.text));
    for (bool commandLimit : {true, false})
        for (size_t i = 0; i < texts.size(); ++i)
            if (!texts[i].kept && texts[i].commandLimit == commandLimit && !fits(commandLimit, encoded[i].bytes))
                problems.push_back({commandLimit ? Problem::CommandTooLong : Problem::SlotTextTooLong, texts[i].field,
                                    texts[i].text});
    for (const SlotText &t : texts)
        if (!t.kept && t.phoneIndex >= 0 && !fields::isSendablePhoneEntry(set.phones[t.phoneIndex]))
            problems.push_back({Problem::PhoneNotANumber, t.field, set.phones[t.phoneIndex], t.phoneIndex});
    for (size_t i = 0; i < texts.size(); ++i)
        if (!texts[i].kept && !encoded[i].ok())
            problems.push_back({Problem::Unsendable, texts[i].field, encoded[i].unencodable});

    for (int r = 0; r < regmap::kRelayCount; ++r) {
        const int time = set.relays[r].actionTime;
        if (time < -32768 || time > 32767)
            problems.push_back({Problem::ActionTimeOutOfRange, actionTimePath(r), QString::number(time)});
    }
    return problems;
}

std::vector<PlannedWrite> planWrites(const ParameterSet &set)
{
    std::vector<PlannedWrite> writes;
    int progress = 0;
    for (const SlotText &t : composeSlotTexts(set)) {
        std::vector<int> after;
        if (!regmap::isPhoneSlot(t.slot)) // the phone slots move the bar together with the action times
            after.push_back(progress += kTextProgressStep);
        const QVector<quint16> registers =
            t.kept ? t.kept->registers : regtext::slotRegisters(regtext::encodeGbk(t.text).bytes, capacity(t.commandLimit));
        writes.push_back({t.slot, registers, false, after, t.field, t.text, !t.kept});
    }

    QVector<quint16> times(regmap::kActionTimes.count, 0); // 902..907 carry nothing: zeros
    for (int r = 0; r < regmap::kRelayCount; ++r)
        times[r] = static_cast<quint16>(static_cast<qint16>(set.relays[r].actionTime));
    writes.push_back({regmap::kActionTimes.start, times, false,
                      {progress + kTimesProgressStep, progress + 2 * kTimesProgressStep},
                      actionTimePath(0) + QStringLiteral(", ") + actionTimePath(1), QString(), false});
    writes.push_back({regmap::kAlarmMode, {static_cast<quint16>(fields::encodeAlarmMode(modeChoice(set.alarmMode)))}, true,
                      {}, alarmModePath(), QString(), false});
    writes.push_back({regmap::kOptionFlags,
                      {static_cast<quint16>(fields::encodeOptionFlags(set.powerLossMemory, set.phoneAlarm))}, true, {},
                      optionsPath(), QString(), false});
    return writes;
}

} // namespace params
