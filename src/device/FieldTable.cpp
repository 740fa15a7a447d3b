#include "FieldTable.h"

#include "BlockDecoding.h"
#include "FieldCodecs.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QRegularExpression>
#include <QStringList>

namespace params {

namespace {

using regmap::RelayText;

QString text(const QVector<quint16> &values)
{
    return blocks::decodeText(values, static_cast<int>(values.size()));
}

// What a field keeps of its slot's text; nothing when the slot carries none.
using FromSlot = std::function<std::optional<QString>(const QString &stored)>;
std::optional<QString> asStored(const QString &stored) { return stored; }

// One row, built member by member by name; done() gives it with its path.
class Row {
public:
    Row(FieldId id, const char *key, int index = 0)
    {
        m_f.id = id;
        m_f.key = QLatin1String(key);
        m_f.index = index;
    }
    // Nested in the file: in its group's array at element, or in its object.
    Row &in(const char *group, int element = -1)
    {
        m_f.group = QLatin1String(group);
        m_f.element = element;
        return *this;
    }
    Row &caption(const char *source, int number = 0)
    {
        m_f.caption = {source, number};
        return *this;
    }
    Row &label(const char *source)
    {
        m_f.label = {source, 0};
        return *this;
    }
    Row &limit(Limit limit)
    {
        m_f.limit = limit;
        return *this;
    }
    // Where the device stores it, and the block it is read and written in.
    Row &stored(ValueType type, regmap::Block registers, std::optional<regmap::Block> block = std::nullopt)
    {
        m_f.type = type;
        m_f.registers = registers;
        m_f.block = block.value_or(registers);
        return *this;
    }
    Row &carriedIn(ReadStep read, WriteStep write)
    {
        m_f.readIn = read;
        m_f.writtenIn = write;
        return *this;
    }
    Row &factory(const QJsonValue &value)
    {
        m_f.factory = value;
        return *this;
    }
    // 恢复出厂 leaves it as it stands.
    Row &keptByFactory()
    {
        m_f.restoredByFactory = false;
        return *this;
    }
    Row &startUp(const QJsonValue &value)
    {
        m_f.startUp = value;
        return *this;
    }
    Row &codec(std::function<QJsonValue(const ParameterSet &)> get, std::function<void(ParameterSet &, const QJsonValue &)> put,
               std::function<bool(ParameterSet &, int, const QVector<quint16> &)> read)
    {
        m_f.get = std::move(get);
        m_f.put = std::move(put);
        m_f.read = std::move(read);
        return *this;
    }
    Row &registerValue(std::function<quint16(const ParameterSet &)> value)
    {
        m_f.registerValue = std::move(value);
        return *this;
    }
    // A text in a slot of its own: ref gives the set's string; fromSlot
    // turns the slot's text into the field's value.
    template <typename Ref>
    Row &textIn(int slot, Ref ref, FromSlot fromSlot = asStored)
    {
        stored(ValueType::Text, {slot, regmap::kSlotRegisters});
        return codec([ref](const ParameterSet &s) { return QJsonValue(ref(s)); },
                     [ref](ParameterSet &s, const QJsonValue &v) { ref(s) = v.toString(); },
                     [ref, slot, fromSlot](ParameterSet &s, int start, const QVector<quint16> &values) {
                         if (start != slot)
                             return false;
                         const std::optional<QString> value = fromSlot(text(values));
                         if (value)
                             ref(s) = *value;
                         return value.has_value();
                     });
    }
    Field done()
    {
        QString holder = m_f.group;
        if (m_f.element >= 0)
            holder += QStringLiteral("[%1]").arg(m_f.element);
        m_f.path = QStringLiteral("parameters.") + (holder.isEmpty() ? QString() : holder + u'.') + m_f.key;
        return m_f;
    }

private:
    Field m_f;
};

void addPhonesAndPassword(std::vector<Field> &table)
{
    table.push_back(
        Row(FieldId::Phones, "phones")
            .caption(QT_TRANSLATE_NOOP("FieldTable", "第%1个手机号码"))
            .limit(Limit::Phones)
            .stored(ValueType::TextList, {regmap::phoneSlot(0), regmap::kPhoneSlots * regmap::kSlotRegisters})
            .carriedIn(ReadStep::PhoneSlots, WriteStep::PhoneSlots)
            .factory(QJsonArray{QStringLiteral("15800000000")})
            .startUp(QJsonArray()) // a window starts with an empty list
            .codec([](const ParameterSet &s) { return QJsonValue(QJsonArray::fromStringList(s.phones)); },
                   [](ParameterSet &s, const QJsonValue &v) {
                       s.phones.clear();
                       for (const QJsonValue &entry : v.toArray())
                           s.phones << entry.toString();
                   },
                   // The list starts afresh at the first slot; an empty slot adds nothing.
                   [](ParameterSet &s, int start, const QVector<quint16> &values) {
                       if (!regmap::isPhoneSlot(start))
                           return false;
                       if (start == regmap::phoneSlot(0))
                           s.phones.clear();
                       if (const std::optional<QString> entry = fields::phoneEntryFromSlot(text(values)))
                           s.phones << *entry;
                       return true;
                   })
            .done());

    table.push_back(Row(FieldId::Password, "password")
                        .caption(QT_TRANSLATE_NOOP("FieldTable", "指令密码"))
                        .limit(Limit::Password)
                        .factory(QStringLiteral("739154"))
                        .codec([](const ParameterSet &s) { return QJsonValue(s.password); },
                               [](ParameterSet &s, const QJsonValue &v) { s.password = v.toString(); },
                               // Each switch-on command carries it in; the last one read decides.
                               [](ParameterSet &s, int start, const QVector<quint16> &values) {
                                   for (int r = 0; r < regmap::kRelayCount; ++r)
                                       if (start == regmap::relayTextSlot(r, RelayText::OnCommand)) {
                                           s.password = fields::splitOnCommand(text(values)).password;
                                           return true;
                                       }
                                   return false;
                               })
                        .done());
}

void addRelay(std::vector<Field> &table, int r)
{
    const int n = r + 1;
    auto relay = [r](FieldId id, const char *key) { return Row(id, key, r).in("relays", r); };
    auto member = [r](QString RelaySettings::*text) {
        return [r, text](auto &s) -> auto & { return s.relays[r].*text; };
    };
    table.push_back(relay(FieldId::OnCommand, "on")
                        .caption(QT_TRANSLATE_NOOP("FieldTable", "继电器%1开启命令"), n)
                        .label(QT_TRANSLATE_NOOP("FieldTable", "开启命令"))
                        .limit(Limit::Command)
                        .textIn(regmap::relayTextSlot(r, RelayText::OnCommand), member(&RelaySettings::on),
                                [](const QString &stored) { return std::optional<QString>(fields::splitOnCommand(stored).command); })
                        .carriedIn(ReadStep::SlotRun, WriteStep::Texts)
                        .factory(QStringLiteral("设备%1开").arg(n))
                        .done());
    table.push_back(relay(FieldId::OffCommand, "off")
                        .caption(QT_TRANSLATE_NOOP("FieldTable", "继电器%1关闭命令"), n)
                        .label(QT_TRANSLATE_NOOP("FieldTable", "关闭命令"))
                        .limit(Limit::Command)
                        .textIn(regmap::relayTextSlot(r, RelayText::OffCommand), member(&RelaySettings::off),
                                [](const QString &stored) { return std::optional<QString>(fields::splitOffCommand(stored)); })
                        .carriedIn(ReadStep::SlotRun, WriteStep::Texts)
                        .factory(QStringLiteral("设备%1关").arg(n))
                        .done());
    table.push_back(relay(FieldId::OnReply, "onReply")
                        .caption(QT_TRANSLATE_NOOP("FieldTable", "继电器%1开启回复"), n)
                        .label(QT_TRANSLATE_NOOP("FieldTable", "回复命令"))
                        .limit(Limit::Reply)
                        .textIn(regmap::relayTextSlot(r, RelayText::OnReply), member(&RelaySettings::onReply))
                        .carriedIn(ReadStep::SlotRun, WriteStep::Texts)
                        .factory(QStringLiteral("设备%1开启成功").arg(n))
                        .done());
    table.push_back(relay(FieldId::OffReply, "offReply")
                        .caption(QT_TRANSLATE_NOOP("FieldTable", "继电器%1关闭回复"), n)
                        .label(QT_TRANSLATE_NOOP("FieldTable", "回复命令"))
                        .limit(Limit::Reply)
                        .textIn(regmap::relayTextSlot(r, RelayText::OffReply), member(&RelaySettings::offReply))
                        .carriedIn(ReadStep::SlotRun, WriteStep::Texts)
                        .factory(QStringLiteral("设备%1关闭成功").arg(n))
                        .done());
    table.push_back(
        relay(FieldId::ActionTime, "actionTime")
            .caption(QT_TRANSLATE_NOOP("FieldTable", "继电器%1动作时间"), n)
            .label(QT_TRANSLATE_NOOP("FieldTable", "动作时间"))
            .limit(Limit::Register)
            .stored(ValueType::Integer, {regmap::kActionTimes.start + r, 1}, regmap::kActionTimes)
            .carriedIn(ReadStep::Registers, WriteStep::Registers)
            .factory(0)
            .codec([r](const ParameterSet &s) { return QJsonValue(s.relays[r].actionTime); },
                   [r](ParameterSet &s, const QJsonValue &v) { s.relays[r].actionTime = v.toInt(); },
                   [r](ParameterSet &s, int start, const QVector<quint16> &values) {
                       if (start != regmap::kActionTimes.start)
                           return false;
                       const auto times = blocks::decodeActionTimes(values, static_cast<int>(values.size()));
                       if (times)
                           s.relays[r].actionTime = (*times)[r];
                       return times.has_value();
                   })
            .registerValue([r](const ParameterSet &s) { return static_cast<quint16>(static_cast<qint16>(s.relays[r].actionTime)); })
            .done());
}

// A device that never had the all-on or all-off command keeps the one the set holds.
void addAllCommands(std::vector<Field> &table)
{
    table.push_back(Row(FieldId::AllOn, "allOn")
                        .caption(QT_TRANSLATE_NOOP("FieldTable", "全开命令"))
                        .limit(Limit::Command)
                        .textIn(regmap::allCommandSlot(0), [](auto &s) -> auto & { return s.allOn; }, fields::allCommandFromSlot)
                        .carriedIn(ReadStep::SlotRun, WriteStep::Texts)
                        .factory(QStringLiteral("全开"))
                        .keptByFactory()
                        .done());
    table.push_back(Row(FieldId::AllOff, "allOff")
                        .caption(QT_TRANSLATE_NOOP("FieldTable", "全关命令"))
                        .limit(Limit::Command)
                        .textIn(regmap::allCommandSlot(1), [](auto &s) -> auto & { return s.allOff; }, fields::allCommandFromSlot)
                        .carriedIn(ReadStep::SlotRun, WriteStep::Texts)
                        .factory(QStringLiteral("全关"))
                        .keptByFactory()
                        .done());
}

void addAlarmTexts(std::vector<Field> &table)
{
    const char *const keys[regmap::kAlarmTexts] = {"channel1Closing", "channel2Closing", "channel1Opening", "channel2Opening"};
    for (int k = 0; k < regmap::kAlarmTexts; ++k) {
        const int channel = k % 2 + 1;
        const bool closing = regmap::alarmTextOnClosing(k);
        // The channel list's entries name them.
        table.push_back(Row(FieldId::AlarmText, keys[k], k)
                            .in("alarmTexts")
                            .caption(closing ? QT_TRANSLATE_NOOP("FieldTable", "通道%1闭合短信")
                                             : QT_TRANSLATE_NOOP("FieldTable", "通道%1断开短信"),
                                     channel)
                            .limit(Limit::SlotText)
                            .textIn(regmap::alarmTextSlot(k), [k](auto &s) -> auto & { return s.alarmTexts[k]; })
                            .carriedIn(ReadStep::AlarmTexts, WriteStep::Texts)
                            .factory((closing ? QStringLiteral("通道%1闭合报警") : QStringLiteral("通道%1断开报警")).arg(channel))
                            .done());
    }
}

void addModeAndOptions(std::vector<Field> &table)
{
    table.push_back(Row(FieldId::AlarmMode, "alarmMode")
                        .caption(QT_TRANSLATE_NOOP("FieldTable", "报警模式"))
                        .stored(ValueType::Mode, {regmap::kAlarmMode, 1})
                        .carriedIn(ReadStep::Registers, WriteStep::Registers)
                        .factory(modeName(AlarmMode::Both))
                        .keptByFactory()
                        .startUp(modeName(AlarmMode::None))
                        .codec([](const ParameterSet &s) { return QJsonValue(modeName(s.alarmMode)); },
                               [](ParameterSet &s, const QJsonValue &v) {
                                   if (const std::optional<AlarmMode> named = modeFromName(v.toString()))
                                       s.alarmMode = *named;
                               },
                               [](ParameterSet &s, int start, const QVector<quint16> &values) {
                                   if (start != regmap::kAlarmMode)
                                       return false;
                                   const std::optional<AlarmMode> m = blocks::decodeAlarmMode(values, static_cast<int>(values.size()));
                                   if (m)
                                       s.alarmMode = *m;
                                   return m.has_value();
                               })
                        .registerValue([](const ParameterSet &s) {
                            return static_cast<quint16>(fields::encodeAlarmMode(modeChoice(s.alarmMode)));
                        })
                        .done());

    // The two options share one register, each its own bit.
    auto option = [&](FieldId id, const char *key, const char *caption, bool ParameterSet::*member,
                      bool fields::OptionFlags::*decoded, bool hold) {
        table.push_back(Row(id, key)
                            .caption(caption)
                            .stored(ValueType::Flag, {regmap::kOptionFlags, 1})
                            .carriedIn(ReadStep::Registers, WriteStep::Registers)
                            .factory(false)
                            .keptByFactory()
                            .codec([member](const ParameterSet &s) { return QJsonValue(s.*member); },
                                   [member](ParameterSet &s, const QJsonValue &v) { s.*member = v.toBool(); },
                                   [member, decoded](ParameterSet &s, int start, const QVector<quint16> &values) {
                                       if (start != regmap::kOptionFlags)
                                           return false;
                                       const std::optional<fields::OptionFlags> flags =
                                           blocks::decodeOptionFlags(values, static_cast<int>(values.size()));
                                       if (flags)
                                           s.*member = (*flags).*decoded;
                                       return flags.has_value();
                                   })
                            .registerValue([member, hold](const ParameterSet &s) {
                                return static_cast<quint16>(hold ? fields::encodeOptionFlags(s.*member, false)
                                                                 : fields::encodeOptionFlags(false, s.*member));
                            })
                            .done());
    };
    option(FieldId::PowerLossMemory, "powerLossMemory", QT_TRANSLATE_NOOP("FieldTable", "掉电记忆"), &ParameterSet::powerLossMemory,
           &fields::OptionFlags::hold, true);
    option(FieldId::PhoneAlarm, "phoneAlarm", QT_TRANSLATE_NOOP("FieldTable", "电话报警"), &ParameterSet::phoneAlarm,
           &fields::OptionFlags::phoneAlarm, false);
}

// The file's order.
std::vector<Field> buildTable()
{
    std::vector<Field> table;
    addPhonesAndPassword(table);
    for (int r = 0; r < regmap::kRelayCount; ++r)
        addRelay(table, r);
    addAllCommands(table);
    addAlarmTexts(table);
    addModeAndOptions(table);
    return table;
}

bool overlaps(const regmap::Block &a, const regmap::Block &b)
{
    return a.start < b.start + b.count && b.start < a.start + a.count;
}

} // namespace

QString Caption::text() const
{
    const QString shown = QCoreApplication::translate("FieldTable", source);
    return number > 0 ? shown.arg(number) : shown;
}

std::vector<int> Field::textSlots() const
{
    std::vector<int> out;
    if (inTextSlots())
        for (int slot = block.start; slot < block.start + block.count; slot += regmap::kSlotRegisters)
            out.push_back(slot);
    return out;
}

const std::vector<Field> &fieldTable()
{
    static const std::vector<Field> table = buildTable();
    return table;
}

const Field &field(FieldId id, int index)
{
    for (const Field &f : fieldTable())
        if (f.id == id && f.index == index)
            return f;
    Q_UNREACHABLE();
}

const Field &fieldAt(const QString &path)
{
    for (const Field &f : fieldTable())
        if (f.path == path)
            return f;
    qFatal("no field at %s", qPrintable(path));
}

std::vector<const Field *> fieldsStoredIn(const regmap::Block &block)
{
    std::vector<const Field *> out;
    for (const Field &f : fieldTable())
        if (overlaps(f.registers, block))
            out.push_back(&f);
    return out;
}

QString phonePath(int entry)
{
    return field(FieldId::Phones).path + QStringLiteral("[%1]").arg(entry);
}

QString phoneCaption(int entry)
{
    return field(FieldId::Phones).caption.text().arg(entry + 1);
}

QString fieldCaption(const QString &path)
{
    for (const Field &f : fieldTable())
        if (f.path == path && f.type != ValueType::TextList)
            return f.caption.text();
    static const QRegularExpression entry(QStringLiteral("^(.*)\\[(\\d+)\\]$"));
    const QRegularExpressionMatch m = entry.match(path);
    if (m.hasMatch() && m.captured(1) == field(FieldId::Phones).path)
        return phoneCaption(m.captured(2).toInt());
    return path;
}

QString modeChoiceCaption(int choice)
{
    static const char *const captions[regmap::kModeChoices] = {
        QT_TRANSLATE_NOOP("FieldTable", "闭合"), QT_TRANSLATE_NOOP("FieldTable", "断开"), QT_TRANSLATE_NOOP("FieldTable", "双向")};
    return choice >= 0 && choice < regmap::kModeChoices ? QCoreApplication::translate("FieldTable", captions[choice]) : QString();
}

QString valueText(ValueType type, const QJsonValue &value)
{
    switch (type) {
    case ValueType::Text:
    case ValueType::Mode: return value.toString();
    case ValueType::Integer: return QString::number(value.toInt());
    case ValueType::Flag: return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case ValueType::TextList: break;
    }
    QStringList entries;
    for (const QJsonValue &entry : value.toArray())
        entries << entry.toString();
    return entries.join(QStringLiteral(", "));
}

} // namespace params
