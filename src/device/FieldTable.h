#pragma once
// Every field of the configuration once, in the file's order: its path in
// the file, where the device stores it, what the write's checks hold it to,
// the window's name for it, and how its value moves between a parameter set,
// a file and the registers. The file, the differences, the reader and the
// write plan all walk this table.

#include "ParameterSet.h"
#include "RegisterMap.h"

#include <QJsonValue>
#include <QString>
#include <QVector>

#include <functional>
#include <vector>

namespace params {

enum class FieldId {
    Phones,
    Password,
    OnCommand,
    OffCommand,
    OnReply,
    OffReply,
    ActionTime,
    AllOn,
    AllOff,
    AlarmText,
    AlarmMode,
    PowerLossMemory,
    PhoneAlarm,
};

// How a file holds the value, which also decides how it is compared and printed.
enum class ValueType {
    Text,     // a string
    TextList, // an array of strings
    Integer,  // a number without a fraction
    Mode,     // one of the names modeName() gives
    Flag,     // true or false
};

// What the write's checks hold a field to.
enum class Limit {
    None,
    Password, // at most fields::kMaxPasswordChars characters, no "*": it stands in front of every command
    Command,  // no "*"; stored behind the password, the whole below regmap::kCommandBytesLimit bytes
    Reply,    // below regmap::kCommandBytesLimit bytes
    SlotText, // at most regmap::kSlotBytes bytes
    Phones,   // every entry a number, every slot at most regmap::kSlotBytes bytes
    Register, // fits a signed 16-bit register
};

struct Field {
    FieldId id;
    int index;     // the relay or the alarm text; 0 for the others
    QString group; // "relays" or "alarmTexts" when the file nests the field there
    QString key;   // its key in the file
    QString path;  // how problems and differences name it: "parameters.relays[1].on"
    ValueType type;
    Limit limit;
    // Where the device stores it; none for the password, which every command carries in front.
    regmap::Block registers;
    QString caption; // the window's name for it; the phones' takes an entry's position for %1

    // Its value in a set as a file holds it, and back.
    std::function<QJsonValue(const ParameterSet &)> get;
    std::function<void(ParameterSet &, const QJsonValue &)> put;
    // Decodes a block read at start (values: exactly the registers read) into
    // the set; false when the block carries nothing of the field, or too little.
    std::function<bool(ParameterSet &, int start, const QVector<quint16> &values)> read;
    // What it puts into the register it owns or shares; none for a text.
    std::function<quint16(const ParameterSet &)> registerValue;
    int element = -1; // its object in its group's array (the relay), -1 when the group is an object
};

const std::vector<Field> &fieldTable();
const Field &field(FieldId id, int index = 0);

// The fields stored in the registers of a block, in the table's order: one
// for a text slot, the two action times in theirs, the two options in theirs.
std::vector<const Field *> fieldsStoredIn(const regmap::Block &block);

// A phone entry's path: "parameters.phones[2]".
QString phonePath(int entry);

// The window's name for the field or phone entry at path; the path itself
// when the table has no name for it.
QString fieldCaption(const QString &path);

// The value as a file prints it: texts as they are, numbers, mode names,
// "true" or "false"; the phone list's entries joined by ", ".
QString valueText(ValueType type, const QJsonValue &value);

} // namespace params
