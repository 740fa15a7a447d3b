#include "ParameterSet.h"

#include "FactoryDefaults.h"
#include "WritePlan.h"

#include <algorithm>

namespace params {

bool ParameterSet::sameConfiguration(const ParameterSet &o) const
{
    auto relaysEqual = [](const RelaySettings &a, const RelaySettings &b) {
        return a.on == b.on && a.off == b.off && a.onReply == b.onReply && a.offReply == b.offReply
               && a.actionTime == b.actionTime;
    };
    return phones == o.phones && password == o.password
           && std::equal(relays.begin(), relays.end(), o.relays.begin(), relaysEqual) && allOn == o.allOn
           && allOff == o.allOff && alarmTexts == o.alarmTexts && alarmMode == o.alarmMode
           && powerLossMemory == o.powerLossMemory && phoneAlarm == o.phoneAlarm;
}

void applyFactoryTable(ParameterSet &set)
{
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        set.alarmTexts[k] = factory::channelAlarmText(k);
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        set.relays[r].on = factory::relayOnCommand(r + 1);
        set.relays[r].off = factory::relayOffCommand(r + 1);
        set.relays[r].onReply = factory::relayOnReply(r + 1);
        set.relays[r].offReply = factory::relayOffReply(r + 1);
        set.relays[r].actionTime = factory::actionTime().toInt();
    }
    set.phones = QStringList{factory::phoneNumber()};
    set.password = factory::password();
}

ParameterSet startUpSet()
{
    ParameterSet set;
    applyFactoryTable(set);
    set.phones.clear(); // a window starts with an empty list
    set.allOn = factory::allOnCommand();
    set.allOff = factory::allOffCommand();
    return set;
}

QString modeName(AlarmMode mode)
{
    switch (mode) {
    case AlarmMode::Closing: return QStringLiteral("closing");
    case AlarmMode::Opening: return QStringLiteral("opening");
    case AlarmMode::Both: return QStringLiteral("both");
    case AlarmMode::None: break;
    }
    return QStringLiteral("none");
}

std::vector<Difference> differences(const ParameterSet &a, const ParameterSet &b)
{
    using regmap::RelayText;
    std::vector<Difference> out;
    auto compare = [&out](const QString &field, const QString &x, const QString &y) {
        if (x != y)
            out.push_back({field, x, y});
    };
    const qsizetype phones = std::max(a.phones.size(), b.phones.size());
    for (qsizetype p = 0; p < phones; ++p)
        compare(phonePath(static_cast<int>(p)), a.phones.value(p), b.phones.value(p));
    compare(passwordPath(), a.password, b.password);
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        const RelaySettings &x = a.relays[r], &y = b.relays[r];
        compare(relayFieldPath(r, RelayText::OnCommand), x.on, y.on);
        compare(relayFieldPath(r, RelayText::OffCommand), x.off, y.off);
        compare(relayFieldPath(r, RelayText::OnReply), x.onReply, y.onReply);
        compare(relayFieldPath(r, RelayText::OffReply), x.offReply, y.offReply);
        compare(actionTimePath(r), QString::number(x.actionTime), QString::number(y.actionTime));
    }
    compare(allCommandPath(0), a.allOn, b.allOn);
    compare(allCommandPath(1), a.allOff, b.allOff);
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        compare(alarmTextPath(k), a.alarmTexts[k], b.alarmTexts[k]);
    compare(alarmModePath(), modeName(a.alarmMode), modeName(b.alarmMode));
    auto flag = [](bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); };
    compare(QStringLiteral("parameters.powerLossMemory"), flag(a.powerLossMemory), flag(b.powerLossMemory));
    compare(QStringLiteral("parameters.phoneAlarm"), flag(a.phoneAlarm), flag(b.phoneAlarm));
    return out;
}

int modeChoice(AlarmMode mode)
{
    switch (mode) {
    case AlarmMode::Closing: return 0;
    case AlarmMode::Opening: return 1;
    case AlarmMode::Both: return 2;
    case AlarmMode::None: break;
    }
    return -1;
}

AlarmMode modeFromChoice(int choice)
{
    switch (choice) {
    case 0: return AlarmMode::Closing;
    case 1: return AlarmMode::Opening;
    case 2: return AlarmMode::Both;
    default: return AlarmMode::None;
    }
}

} // namespace params
