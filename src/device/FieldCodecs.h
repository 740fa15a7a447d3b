#pragma once
// Encodings of the controller's non-text fields and the text rules that sit on
// top of the GBK slots: password prefix, phone numbers, flags, mode, version.

#include <QString>
#include <optional>

namespace fields {

constexpr int kMaxPasswordChars = 6;

// The stored command: "password*command", or the command alone without a password.
QString composeCommand(const QString &password, const QString &command);

struct OnCommand {
    QString password;
    QString command;
};
// A switch-on command as read: with a "*", the first piece is the password and
// the second the command (further pieces are dropped); without, no password.
OnCommand splitOnCommand(const QString &stored);
// A switch-off command as read: the second piece at "*", or the text whole.
QString splitOffCommand(const QString &stored);

// The text a phone slot gets for a list entry: 11-character numbers get the
// country prefix "86".
QString phoneSlotText(const QString &entry);
// The text a slot without an entry gets; it reads back as empty.
QString emptyPhoneSlotText();
// The list entry for a phone slot's text, or nothing for an empty slot.
std::optional<QString> phoneEntryFromSlot(const QString &slotText);

int encodeOptionFlags(bool hold, bool phoneAlarm);
struct OptionFlags {
    bool hold;
    bool phoneAlarm;
};
OptionFlags decodeOptionFlags(int value);

// Alarm mode: choice 0 closing, 1 opening, 2 both ways, -1 none (written as both ways).
int encodeAlarmMode(int choice);
// The chosen mode for a register value: the highest of bits 0..2, or -1.
int decodeAlarmMode(int value);

// "V" + major + "." + minor, minor in the low four bits.
QString firmwareVersionText(int value);

} // namespace fields
