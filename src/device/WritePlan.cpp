#include "WritePlan.h"

#include "BlockDecoding.h"
#include "FieldCodecs.h"
#include "FieldTable.h"
#include "RegisterText.h"

#include <QStringList>

#include <algorithm>

namespace params {

namespace {

// One of the 22 writes, and whether it goes back as read.
struct Target {
    regmap::Block block;
    std::vector<const Field *> fields; // stored in it
    const QVector<quint16> *read;      // its registers as read, when the reading holds enough of them
    bool asRead;
    bool text;      // a text slot, holding exactly one field
    int phoneEntry; // the list entry of a phone slot, -1 for the other blocks
};

// What the device stores for a field: a command carries the password in
// front, so a new password changes every command.
QJsonValue storedValue(const Field &f, const ParameterSet &set)
{
    if (f.limit == Limit::Command)
        return fields::composeCommand(set.password, f.get(set).toString());
    return f.get(set);
}

Target targetFor(const regmap::Block &block, const ParameterSet &set, const DeviceReading *reading)
{
    Target t{block, fieldsStoredIn(block), nullptr, false, regmap::isTextField(block.start), -1};
    if (regmap::isPhoneSlot(block.start))
        t.phoneEntry = (block.start - regmap::phoneSlot(0)) / regmap::kSlotRegisters;
    if (reading) {
        const auto found = reading->blocks.find(block.start);
        const int needed = t.text ? 1 : block.count;
        if (found != reading->blocks.end() && found->second.size() >= needed)
            t.read = &found->second;
    }
    t.asRead = t.read && std::all_of(t.fields.begin(), t.fields.end(), [&](const Field *f) {
                   return storedValue(*f, set) == storedValue(*f, reading->shown);
               });
    return t;
}

std::vector<Target> targets(const ParameterSet &set, const DeviceReading *reading)
{
    std::vector<Target> out;
    for (const regmap::Block &block : regmap::writeBlocks())
        out.push_back(targetFor(block, set, reading));
    return out;
}

// A text that goes back as read and filled what the read fetched of its slot.
bool longerOnDevice(const Target &t)
{
    return t.text && t.asRead && t.read->size() < regmap::kSlotRegisters
           && regtext::textFillsBlock(*t.read, static_cast<int>(t.read->size()));
}

QString slotText(const Target &t, const ParameterSet &set)
{
    if (t.phoneEntry < 0)
        return storedValue(*t.fields.front(), set).toString();
    return t.phoneEntry < set.phones.size() ? fields::phoneSlotText(set.phones[t.phoneEntry]) : fields::emptyPhoneSlotText();
}

QString fieldPaths(const Target &t)
{
    if (t.phoneEntry >= 0)
        return phonePath(t.phoneEntry);
    QStringList paths;
    for (const Field *f : t.fields)
        paths << f->path;
    return paths.join(QStringLiteral(", "));
}

// A command or reply stays below 20 bytes so that it is read back whole,
// with its end; an alarm text or phone number may fill its whole slot.
bool commandLimit(const Target &t)
{
    const Limit limit = t.fields.front()->limit;
    return limit == Limit::Command || limit == Limit::Reply;
}

int capacity(bool commandLimit)
{
    return commandLimit ? kCommandBytesBelow : kMaxSlotTextBytes;
}

bool fits(bool commandLimit, const QByteArray &bytes)
{
    const int n = static_cast<int>(bytes.size());
    return commandLimit ? n < capacity(true) : n <= capacity(false);
}

} // namespace

std::vector<Problem> checkParameters(const ParameterSet &set, const DeviceReading *reading)
{
    std::vector<Problem> problems;
    const std::vector<Target> all = targets(set, reading);
    std::vector<const Field *> encoded;
    for (const Target &t : all)
        if (!t.asRead)
            encoded.insert(encoded.end(), t.fields.begin(), t.fields.end());
    auto isEncoded = [&](const Field &f) { return std::find(encoded.begin(), encoded.end(), &f) != encoded.end(); };
    // The password is checked when a command is encoded with it.
    const bool passwordSent = std::any_of(encoded.begin(), encoded.end(), [](const Field *f) { return f->limit == Limit::Command; });

    const Field &password = field(FieldId::Password);
    if (passwordSent && set.password.size() > kMaxPasswordChars)
        problems.push_back({Problem::PasswordTooLong, password.path, set.password});
    // Reading splits every command at "*": one inside would come back cut.
    for (const Field &f : fieldTable()) {
        const bool sent = f.limit == Limit::Password ? passwordSent : f.limit == Limit::Command && isEncoded(f);
        if (sent && fields::holdsPasswordSeparator(f.get(set).toString()))
            problems.push_back({Problem::HoldsPasswordSeparator, f.path, f.get(set).toString()});
    }

    std::vector<const Target *> texts;
    std::vector<regtext::GbkText> gbk;
    for (const Target &t : all)
        if (t.text && !t.asRead) {
            texts.push_back(&t);
            gbk.push_back(regtext::encodeGbk(slotText(t, set)));
        }
    for (bool limit : {true, false})
        for (size_t i = 0; i < texts.size(); ++i)
            if (commandLimit(*texts[i]) == limit && !fits(limit, gbk[i].bytes))
                problems.push_back({limit ? Problem::CommandTooLong : Problem::SlotTextTooLong, fieldPaths(*texts[i]),
                                    slotText(*texts[i], set)});
    for (const Target *t : texts) {
        const int p = t->phoneEntry;
        if (p >= 0 && p < set.phones.size() && !fields::isSendablePhoneEntry(set.phones[p]))
            problems.push_back({Problem::PhoneNotANumber, fieldPaths(*t), set.phones[p], p});
    }
    for (size_t i = 0; i < texts.size(); ++i)
        if (!gbk[i].ok())
            problems.push_back({Problem::Unsendable, fieldPaths(*texts[i]), gbk[i].unencodable});

    for (const Field &f : fieldTable()) {
        if (f.limit != Limit::Register || !isEncoded(f))
            continue;
        const int value = f.get(set).toInt();
        if (!fitsRegister(value))
            problems.push_back({Problem::ActionTimeOutOfRange, f.path, QString::number(value)});
    }
    return problems;
}

std::vector<PlannedWrite> planWrites(const ParameterSet &set, const DeviceReading *reading)
{
    std::vector<PlannedWrite> writes;
    int progress = 0;
    for (const Target &t : targets(set, reading)) {
        PlannedWrite w{t.block.start, {}, t.block.count == 1, {}, fieldPaths(t), QString(), t.asRead, false};
        if (t.text) {
            w.text = slotText(t, set);
            w.registers = t.asRead ? regtext::throughTextEnd(*t.read)
                                   : regtext::slotRegisters(regtext::encodeGbk(w.text).bytes, capacity(commandLimit(t)));
            w.longerOnDevice = longerOnDevice(t);
            if (t.phoneEntry < 0) // the phone slots move the bar together with the action times
                w.progressAfter.push_back(progress += kTextProgressStep);
        } else {
            // A register no field is stored in keeps what the device held.
            w.registers = t.read ? t.read->mid(0, t.block.count) : QVector<quint16>(t.block.count, 0);
            for (int a = t.block.start; !t.asRead && a < t.block.start + t.block.count; ++a) {
                std::vector<const Field *> owners;
                std::copy_if(t.fields.begin(), t.fields.end(), std::back_inserter(owners), [a](const Field *f) {
                    return a >= f->registers.start && a < f->registers.start + f->registers.count;
                });
                if (owners.empty())
                    continue;
                quint16 value = 0;
                for (const Field *f : owners)
                    value |= f->registerValue(set);
                w.registers[a - t.block.start] = value;
            }
            if (t.block.start == regmap::kActionTimes.start)
                w.progressAfter = {progress + kTimesProgressStep, progress + 2 * kTimesProgressStep};
        }
        writes.push_back(w);
    }
    return writes;
}

bool textLongerOnDevice(int slot, const ParameterSet &set, const DeviceReading *reading)
{
    return longerOnDevice(targetFor({slot, regmap::kSlotRegisters}, set, reading));
}

QString storedText(const Field &f, const ParameterSet &set, const DeviceReading *reading)
{
    const Target t = targetFor({f.registers.start, regmap::kSlotRegisters}, set, reading);
    return t.asRead ? blocks::decodeText(*t.read, static_cast<int>(t.read->size())) : slotText(t, set);
}

QStringList commandPasswords(const ParameterSet &set, const DeviceReading *reading)
{
    QStringList passwords;
    for (const Field &f : fieldTable()) {
        if (f.limit != Limit::Command)
            continue;
        const QString password = fields::splitOnCommand(storedText(f, set, reading)).password;
        if (!passwords.contains(password))
            passwords << password;
    }
    return passwords;
}

} // namespace params
