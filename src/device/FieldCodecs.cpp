#include "FieldCodecs.h"

#include <QStringList>

#include <algorithm>

namespace fields {

namespace {
const QChar kPasswordSeparator = u'*';
const QChar kInternationalPrefix = u'+';
const QString kCountryPrefix = QStringLiteral("86");
constexpr int kBareNumberLength = 11;

bool allDigits(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}
} // namespace

QString composeCommand(const QString &password, const QString &command)
{
    return password.isEmpty() ? command : password + kPasswordSeparator + command;
}

OnCommand splitOnCommand(const QString &stored)
{
    if (!stored.contains(kPasswordSeparator))
        return {QString(), stored};
    const QStringList pieces = stored.split(kPasswordSeparator);
    return {pieces.at(0), pieces.at(1)};
}

QString splitOffCommand(const QString &stored)
{
    if (!stored.contains(kPasswordSeparator))
        return stored;
    return stored.split(kPasswordSeparator).at(1);
}

bool holdsPasswordSeparator(const QString &text)
{
    return text.contains(kPasswordSeparator);
}

QString phoneSlotText(const QString &entry)
{
    // Only a bare national number gets the prefix; "+" numbers carry their own.
    return entry.size() == kBareNumberLength && allDigits(entry) ? kCountryPrefix + entry : entry;
}

QString emptyPhoneSlotText()
{
    return QStringLiteral("a");
}

std::optional<QString> phoneEntryFromSlot(const QString &slotText)
{
    if (slotText.startsWith(kInternationalPrefix)) {
        const QStringView number = QStringView(slotText).mid(1);
        if (number.isEmpty() || !allDigits(number))
            return std::nullopt;
        return slotText;
    }
    if (slotText.isEmpty() || slotText.front() < u'0' || slotText.front() > u'9')
        return std::nullopt;
    // Only the form written for an 11-digit number loses its prefix, so a
    // number that merely starts with "8" reads back whole.
    if (slotText.size() == kCountryPrefix.size() + kBareNumberLength && slotText.startsWith(kCountryPrefix))
        return slotText.mid(kCountryPrefix.size());
    return slotText;
}

bool isSendablePhoneEntry(const QString &entry)
{
    if (entry.isEmpty())
        return true;
    const QStringView number = entry.startsWith(kInternationalPrefix) ? QStringView(entry).mid(1) : QStringView(entry);
    return !number.isEmpty() && allDigits(number);
}

int encodeOptionFlags(bool hold, bool phoneAlarm)
{
    return (hold ? 1 : 0) + (phoneAlarm ? 2 : 0);
}

OptionFlags decodeOptionFlags(int value)
{
    return {(value & 1) != 0, (value & 2) != 0};
}

int encodeAlarmMode(int choice)
{
    switch (choice) {
    case 0: return 1;
    case 1: return 2;
    default: return 4;
    }
}

int decodeAlarmMode(int value)
{
    for (int bit = 2; bit >= 0; --bit)
        if (value & (1 << bit))
            return bit;
    return -1;
}

QString firmwareVersionText(int value)
{
    const int v = value & 0xFFFF;
    return QStringLiteral("V%1.%2").arg(v / 16).arg(v % 16);
}

} // namespace fields
