// The text rules on top of the GBK slots (password prefix, phone numbers) and
// the numeric fields, on any text and any register value.
#include "FieldCodecs.h"
#include "FuzzSupport.h"
#include "RegisterText.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

const QChar kStar = u'*';

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool startsWithDigit(const QString &s)
{
    return !s.isEmpty() && isDigit(s.front());
}

// "+" followed by one digit or more, and nothing else.
bool isPlusNumber(const QString &s)
{
    return s.size() > 1 && s.front() == u'+' && std::all_of(s.begin() + 1, s.end(), isDigit);
}

void checkStoredCommand(const QString &stored)
{
    const fields::OnCommand on = fields::splitOnCommand(stored);
    FUZZ_CHECK(!on.password.contains(kStar) && !on.command.contains(kStar));
    if (stored.contains(kStar)) {
        FUZZ_CHECK(on.password == stored.section(kStar, 0, 0));
        FUZZ_CHECK(on.command == stored.section(kStar, 1, 1));
    } else {
        FUZZ_CHECK(on.password.isEmpty() && on.command == stored);
    }
    // Both commands of a relay are stored the same way.
    FUZZ_CHECK(fields::splitOffCommand(stored) == on.command);
}

void checkCommandRoundTrip(QString password, QString command)
{
    password.remove(kStar);
    command.remove(kStar);
    const QString stored = fields::composeCommand(password, command);
    const fields::OnCommand on = fields::splitOnCommand(stored);
    FUZZ_CHECK(on.password == password && on.command == command);
    FUZZ_CHECK(fields::splitOffCommand(stored) == command);

    // The same through a slot on the device, whenever GBK can carry the text.
    const regtext::GbkText gbk = regtext::encodeGbk(stored);
    if (!gbk.ok())
        return;
    const QVector<quint16> regs = regtext::slotRegisters(gbk.bytes, static_cast<int>(gbk.bytes.size()) + 1);
    const fields::OnCommand read = fields::splitOnCommand(regtext::decodeTextBlock(regs, static_cast<int>(regs.size())));
    FUZZ_CHECK(read.password == password && read.command == command);
}

void checkPhone(const QString &text)
{
    // Any slot text: only text starting with a digit, or "+" and digits, is an entry.
    const std::optional<QString> entry = fields::phoneEntryFromSlot(text);
    FUZZ_CHECK(entry.has_value() == (startsWithDigit(text) || isPlusNumber(text)));
    if (entry)
        FUZZ_CHECK(*entry == text || ("86" + *entry == text && entry->size() == 11));

    const bool bareNumber = text.size() == 11 && std::all_of(text.begin(), text.end(), isDigit);
    const QString slot = fields::phoneSlotText(text);
    FUZZ_CHECK(slot == (bareNumber ? "86" + text : text));
    // Every entry the write accepts reads back as itself, except a
    // 13-character one starting with "86", which is the slot form of an
    // 11-digit number.
    const bool sendable = text.isEmpty() || isPlusNumber(text) || std::all_of(text.begin(), text.end(), isDigit);
    FUZZ_CHECK(fields::isSendablePhoneEntry(text) == sendable);
    if (sendable && !text.isEmpty() && !(text.size() == 13 && text.startsWith(QStringLiteral("86"))))
        FUZZ_CHECK(fields::phoneEntryFromSlot(slot) == text);
}

void checkNumbers(int value, bool hold, bool phoneAlarm, int choice)
{
    const fields::OptionFlags flags = fields::decodeOptionFlags(fields::encodeOptionFlags(hold, phoneAlarm));
    FUZZ_CHECK(flags.hold == hold && flags.phoneAlarm == phoneAlarm);
    const fields::OptionFlags read = fields::decodeOptionFlags(value);
    FUZZ_CHECK(read.hold == ((value & 1) != 0) && read.phoneAlarm == ((value & 2) != 0));

    const int mode = fields::decodeAlarmMode(fields::encodeAlarmMode(choice));
    FUZZ_CHECK(mode == (choice >= 0 && choice <= 2 ? choice : 2));
    const int decoded = fields::decodeAlarmMode(value);
    FUZZ_CHECK(decoded >= -1 && decoded <= 2);
    FUZZ_CHECK(decoded == -1 ? (value & 7) == 0 : (value >> decoded & 1) && (value & 7) >> decoded == 1);

    static const QRegularExpression version(QStringLiteral("^V(\\d+)\\.(\\d+)$"));
    const QRegularExpressionMatch m = version.match(fields::firmwareVersionText(value));
    FUZZ_CHECK(m.hasMatch());
    FUZZ_CHECK(m.captured(1).toInt() * 16 + m.captured(2).toInt() == (value & 0xFFFF) && m.captured(2).toInt() < 16);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int value = in.ConsumeIntegral<int>();
    const bool hold = in.ConsumeBool();
    const bool phoneAlarm = in.ConsumeBool();
    const int choice = in.ConsumeIntegralInRange<int>(-3, 5);
    checkNumbers(value, hold, phoneAlarm, choice);

    const QString password = fuzzText(in, 64);
    const QString text = fuzzText(in);
    checkStoredCommand(text);
    checkStoredCommand(password);
    checkCommandRoundTrip(password, text);
    checkPhone(text);
    checkPhone(password);
    return 0;
}
