#pragma once
// From a parameter set to the controller's registers: the checks a set must
// pass, and the 22 writes that send it, in the order the device takes them.

#include "ParameterSet.h"
#include "Problem.h"

#include <QString>
#include <QVector>

#include <vector>

namespace params {

// The file path of each field, as problems and failed writes name them.
QString alarmTextKey(int k); // "channel1Closing", ...
QString relayFieldPath(int relay, regmap::RelayText kind);
QString passwordPath();
QString allCommandPath(int i);
QString alarmTextPath(int k);
QString phonePath(int p);
QString actionTimePath(int relay);
QString alarmModePath();
QString optionsPath();

// One text slot as the write stores it.
struct SlotText {
    int slot;
    bool commandLimit;    // commands and replies stay below 20 bytes
    QString text;         // as stored: commands carry the password in front
    QString field;
    const CutText *kept;  // the device's own registers, sent instead of the text while it is unchanged
    int phoneIndex;       // the entry of the phone list, -1 for the other texts and empty slots
};
// The 19 text slots in write order: relay texts, all-on and all-off, alarm
// texts, phone slots.
std::vector<SlotText> composeSlotTexts(const ParameterSet &set);

// Every problem that keeps the set from being written, in the order the
// write checks them; empty when it can be written.
std::vector<Problem> checkParameters(const ParameterSet &set);

// Progress of the write on a bar of 0..100.
constexpr int kTextProgressStep = 3;  // after each text but the phone numbers
constexpr int kTimesProgressStep = 4; // twice after the action times
constexpr int kProgressDone = 100;

struct PlannedWrite {
    int start;
    QVector<quint16> registers;
    bool single;                    // one register with function 06, else a block with 16
    std::vector<int> progressAfter; // bar values once it is confirmed
    QString field;
    QString text;                   // what a text slot carries, for the operator
    bool fromText;                  // a text slot written from the set's text, not kept registers
};

// The 22 writes of a set that passed the checks.
std::vector<PlannedWrite> planWrites(const ParameterSet &set);

} // namespace params
