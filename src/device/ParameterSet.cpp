#include "ParameterSet.h"

#include "FactoryDefaults.h"

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
