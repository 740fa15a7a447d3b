#pragma once
// Encodings of the controller's non-text fields and the text rules that sit on
// top of the GBK slots: password prefix, phone numbers, flags, mode, version.

#include <QString>
#include <optional>

namespace fields {

// The stored command: "password*command", or the command alone without a password.
QString composeCommand(const QString &password, const QString &command);

struct OnCommand {
    QString password;
    QString command;
};
// A switch-on command as read: with a "*", the first piece is the password and
// the second the command (further pieces are dropped); without, no password.
OnCommand splitOnCommand(const QString &stored);
// A switch-off, all-on or all-off command as read: the second piece at "*",
// or the text whole. The password is recovered from the switch-on commands only.
QString splitOffCommand(const QString &stored);
// The all-on or all-off command as read, or nothing for an empty slot: a
// device that never had the command keeps the one the window shows.
std::optional<QString> allCommandFromSlot(const QString &stored);
// Reading splits every command at "*", so no password or command may hold one.
bool holdsPasswordSeparator(const QString &text);

// The text a phone slot gets for a list entry: 11-digit numbers get the
// country prefix "86".
QString phoneSlotText(const QString &entry);
// The text a slot without an entry gets; it reads back as empty.
QString emptyPhoneSlotText();
// The list entry for a phone slot's text, or nothing for an empty slot: a
// number starts with a digit, or with "+" followed by digits.
std::optional<QString> phoneEntryFromSlot(const QString &slotText);
// What the write accepts as an entry: nothing at all, or digits 0-9 with an
// optional leading "+", so that every entry reads back as itself.
bool isSendablePhoneEntry(const QString &entry);

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
