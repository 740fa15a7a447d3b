#pragma once
// The controller's whole configuration as plain data: what the window shows,
// what a configuration file holds and what the write sends.

#include "RegisterMap.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace params {

enum class AlarmMode { Closing, Opening, Both, None };

struct RelaySettings {
    QString on;       // switch-on command, without the password
    QString off;      // switch-off command, without the password
    QString onReply;  // reply after switching on
    QString offReply; // reply after switching off
    // The register is signed 16-bit; an int lets a typed or loaded value that
    // does not fit reach the checks and be refused there with its message.
    int actionTime = 0;
};

struct ParameterSet {
    QStringList phones; // slot order; the write sends the first five
    QString password;
    std::array<RelaySettings, regmap::kRelayCount> relays;
    QString allOn;
    QString allOff;
    // Channel 1 closing, channel 2 closing, channel 1 opening, channel 2 opening.
    std::array<QString, regmap::kAlarmTexts> alarmTexts;
    AlarmMode alarmMode = AlarmMode::None;
    bool powerLossMemory = false;
    bool phoneAlarm = false;

    // The same value in every field.
    bool sameConfiguration(const ParameterSet &other) const;
};

// The sets the field table's factory and start-up values make:
// What a factory-fresh device holds.
ParameterSet factorySet();
// What a window holds before it has read a device: the factory texts, no
// alarm mode, no options, an empty phone list.
ParameterSet startUpSet();
// The factory configuration put into a set, as 恢复出厂 and
// `alarmcfg-cli factory` write it: one phone number, the password, the alarm
// texts and the relays' texts and times. The mode, the options and the all-on
// and all-off commands are no part of it and stay as they are.
void applyFactoryTable(ParameterSet &set);

// One field in which two sets differ, named by its file path.
struct Difference {
    QString field;
    QString first;  // the field's value in the first set, as a file would hold it
    QString second; // and in the second
};
// Every field in which the two configurations differ, in the file's order.
std::vector<Difference> differences(const ParameterSet &first, const ParameterSet &second);

// The alarm mode as a file names it: "closing", "opening", "both" or "none".
QString modeName(AlarmMode mode);
// The mode a file's name stands for; nothing for a name that is none of them.
std::optional<AlarmMode> modeFromName(const QString &name);

// The index of the mode among the window's three choices, -1 for none.
int modeChoice(AlarmMode mode);
AlarmMode modeFromChoice(int choice);

} // namespace params
