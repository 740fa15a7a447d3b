#pragma once
// Every field of the configuration once, in the file's order, as one record:
// its key and path in the file, its caption, its type and limit, where the
// device stores it, how its value moves between a parameter set, a file and
// the registers, its factory and start-up values, and which reads and writes
// carry it. The file, the differences, the reader, the write plan, the
// factory image, the start-up set and the block lists of the reads and
// writes (ReadsAndWrites.cpp) all come from this table. The limits the
// checks apply, and every message names, live here too.

#include "ParameterSet.h"
#include "RegisterMap.h"

#include <QJsonValue>
#include <QString>
#include <QVector>

#include <functional>
#include <limits>
#include <optional>
#include <vector>

namespace params {

// The numbers the limits below stand for: the checks apply them, and every
// message that names one, in the window or on the command line, takes it from here.
constexpr int kMaxPasswordChars = 6;
// A command or reply is read back whole, with its end, only below the bytes
// a read fetches of a slot.
constexpr int kCommandBytesBelow = regmap::kTextReadBytes;
constexpr int kMaxSlotTextBytes = regmap::kSlotBytes;
constexpr int kMaxPhones = regmap::kPhoneSlots;
constexpr int kRegisterMin = std::numeric_limits<qint16>::min();
constexpr int kRegisterMax = std::numeric_limits<qint16>::max();
// Whether a value fits a signed 16-bit register: the one check of Limit::Register.
constexpr bool fitsRegister(double value) { return value >= kRegisterMin && value <= kRegisterMax; }

// The fields the code names on its own; a field that only its row and its
// control name is Other.
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
    Other,
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
    Password, // at most kMaxPasswordChars characters, no "*": it stands in front of every command
    Command,  // no "*"; stored behind the password, the whole below kCommandBytesBelow bytes
    Reply,    // below kCommandBytesBelow bytes
    SlotText, // at most kMaxSlotTextBytes bytes
    Phones,   // at most kMaxPhones entries, each a number, every slot at most kMaxSlotTextBytes bytes
    Register, // fitsRegister
};

// The parts of a full read, in the order the device is asked for them; in
// each, the blocks go up the addresses. The whole run of text slots is read
// (regmap::readTextSlot), the device's own slots in it too; the alarm mode,
// the last register, closes the read.
enum class ReadStep { None, PhoneSlots, AlarmTexts, SlotRun, Registers };
// The parts of a write, in the order the device takes them; in each, the
// blocks follow the table's order.
enum class WriteStep { None, Texts, PhoneSlots, Registers };

// A caption as the catalogues hold it: its source text, marked for them with
// QT_TRANSLATE_NOOP("FieldTable", ...), and the number its %1 stands for.
struct Caption {
    const char *source = nullptr;
    int number = 0; // the relay or the channel, from 1; 0 when the caption has no %1 of its own
    // In the window's language: the installed catalogue's text, the number filled in.
    QString text() const;
};

struct Field {
    FieldId id = FieldId::Other;
    int index = 0;     // the relay or the alarm text; 0 for the others
    QString group;     // "relays" or "alarmTexts" when the file nests the field there
    int element = -1;  // its object in its group's array (the relay), -1 when the group is an object
    QString key;       // its key in the file
    QString path;      // "parameters.relays[1].on": the row's key; problems and differences name it so, the window ties its control to it
    ValueType type = ValueType::Text;
    Caption caption;   // its name; the phones' takes an entry's position for %1 (phoneCaption)
    Caption label;     // the relays' rows: the window's shorter name beside the boxes in a relay's frame
    Limit limit = Limit::None;

    // Where the device stores it; none for the password, which every command carries in front.
    regmap::Block registers{0, 0};
    // The block a read fetches it in and a write sends it in: a text's slots,
    // one by one, or the registers it shares with others.
    regmap::Block block{0, 0};
    ReadStep readIn = ReadStep::None;     // the part of a full read that fetches it; none for the password
    WriteStep writtenIn = WriteStep::None; // the part of a write that sends it; none for the password

    // What a factory-fresh device holds, as a file holds it; whether 恢复出厂
    // puts it back (else the field keeps its value); and what a window shows
    // before it has read a device, where that is not the factory value.
    QJsonValue factory;
    bool restoredByFactory = true;
    std::optional<QJsonValue> startUp;

    // Its value in a set as a file holds it, and back.
    std::function<QJsonValue(const ParameterSet &)> get;
    std::function<void(ParameterSet &, const QJsonValue &)> put;
    // Decodes a block read at start (values: exactly the registers read) into
    // the set; false when the block carries nothing of the field, or too little.
    std::function<bool(ParameterSet &, int start, const QVector<quint16> &values)> read;
    // What it puts into the register it owns or shares; none for a text.
    std::function<quint16(const ParameterSet &)> registerValue;

    // Whether it is stored as text in slots of its own.
    bool inTextSlots() const { return (type == ValueType::Text || type == ValueType::TextList) && block.count > 0; }
    // The starts of its text slots, in order; none for the others.
    std::vector<int> textSlots() const;
};

const std::vector<Field> &fieldTable();
const Field &field(FieldId id, int index = 0);
// The row at a path; the program stops on a path no row has.
const Field &fieldAt(const QString &path);

// The fields stored in the registers of a block, in the table's order: one
// for a text slot, the two action times in theirs, the two options in theirs.
std::vector<const Field *> fieldsStoredIn(const regmap::Block &block);

// A phone entry's path: "parameters.phones[2]".
QString phonePath(int entry);
// The window's name for a phone entry, counted from 0: "第3个手机号码".
QString phoneCaption(int entry);

// The window's name for the field or phone entry at path; the path itself
// when the table has no name for it.
QString fieldCaption(const QString &path);

// The window's names for the alarm mode's choices (modeChoice): "闭合", "断开", "双向".
QString modeChoiceCaption(int choice);

// The value as a file prints it: texts as they are, numbers, mode names,
// "true" or "false"; the phone list's entries joined by ", ".
QString valueText(ValueType type, const QJsonValue &value);

} // namespace params
