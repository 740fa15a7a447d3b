#include "FieldTable.h"

#include "BlockDecoding.h"
#include "FieldCodecs.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QRegularExpression>
#include <QStringList>

#include <optional>

namespace params {

namespace {

using regmap::RelayText;

QString text(const QVector<quint16> &values)
{
    return blocks::decodeText(values, static_cast<int>(values.size()));
}

// A text kept in a slot of its own. ref gives the set's string; fromSlot
// turns the slot's text into the field's value, or nothing when the slot
// carries none.
template <typename Ref>
Field textField(FieldId id, int index, const QString &group, const QString &key, const QString &path, Limit limit, int slot,
                Caption caption, Ref ref, std::function<std::optional<QString>(const QString &)> fromSlot)
{
    Field f{id, index, group, key, path, ValueType::Text, limit, {slot, regmap::kSlotRegisters}, caption, {}, {}, {}, {}};
    f.get = [ref](const ParameterSet &s) { return QJsonValue(ref(s)); };
    f.put = [ref](ParameterSet &s, const QJsonValue &v) { ref(s) = v.toString(); };
    f.read = [ref, slot, fromSlot](ParameterSet &s, int start, const QVector<quint16> &values) {
        if (start != slot)
            return false;
        const std::optional<QString> value = fromSlot(text(values));
        if (value)
            ref(s) = *value;
        return value.has_value();
    };
    return f;
}

std::optional<QString> asStored(const QString &stored) { return stored; }

QString relayPath(int relay, const QString &key)
{
    return QStringLiteral("parameters.relays[%1].%2").arg(relay).arg(key);
}

std::vector<Field> buildTable()
{
    std::vector<Field> table;
    const QString none;

    Field phones{FieldId::Phones, 0, none, QStringLiteral("phones"), QStringLiteral("parameters.phones"), ValueType::TextList,
                 Limit::Phones, {regmap::phoneSlot(0), regmap::kPhoneSlots * regmap::kSlotRegisters},
                 {QT_TRANSLATE_NOOP("FieldTable", "第%1个手机号码")}, {}, {}, {}, {}};
    phones.get = [](const ParameterSet &s) { return QJsonValue(QJsonArray::fromStringList(s.phones)); };
    phones.put = [](ParameterSet &s, const QJsonValue &v) {
        s.phones.clear();
        for (const QJsonValue &entry : v.toArray())
            s.phones << entry.toString();
    };
    // The list starts afresh at the first slot; an empty slot adds nothing.
    phones.read = [](ParameterSet &s, int start, const QVector<quint16> &values) {
        if (!regmap::isPhoneSlot(start))
            return false;
        if (start == regmap::phoneSlot(0))
            s.phones.clear();
        if (const std::optional<QString> entry = fields::phoneEntryFromSlot(text(values)))
            s.phones << *entry;
        return true;
    };
    table.push_back(phones);

    Field password{FieldId::Password, 0, none, QStringLiteral("password"), QStringLiteral("parameters.password"),
                   ValueType::Text, Limit::Password, {0, 0}, {QT_TRANSLATE_NOOP("FieldTable", "指令密码")}, {}, {}, {}, {}};
    password.get = [](const ParameterSet &s) { return QJsonValue(s.password); };
    password.put = [](ParameterSet &s, const QJsonValue &v) { s.password = v.toString(); };
    // Each switch-on command carries it in; the last one read decides.
    password.read = [](ParameterSet &s, int start, const QVector<quint16> &values) {
        for (int r = 0; r < regmap::kRelayCount; ++r)
            if (start == regmap::relayTextSlot(r, RelayText::OnCommand)) {
                s.password = fields::splitOnCommand(text(values)).password;
                return true;
            }
        return false;
    };
    table.push_back(password);

    const QString relays = QStringLiteral("relays");
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        const size_t first = table.size();
        const int n = r + 1;
        table.push_back(textField(
            FieldId::OnCommand, r, relays, QStringLiteral("on"), relayPath(r, QStringLiteral("on")), Limit::Command,
            regmap::relayTextSlot(r, RelayText::OnCommand), {QT_TRANSLATE_NOOP("FieldTable", "继电器%1开启命令"), n},
            [r](auto &s) -> auto & { return s.relays[r].on; },
            [](const QString &stored) { return std::optional<QString>(fields::splitOnCommand(stored).command); }));
        table.push_back(textField(
            FieldId::OffCommand, r, relays, QStringLiteral("off"), relayPath(r, QStringLiteral("off")), Limit::Command,
            regmap::relayTextSlot(r, RelayText::OffCommand), {QT_TRANSLATE_NOOP("FieldTable", "继电器%1关闭命令"), n},
            [r](auto &s) -> auto & { return s.relays[r].off; },
            [](const QString &stored) { return std::optional<QString>(fields::splitOffCommand(stored)); }));
        table.push_back(textField(FieldId::OnReply, r, relays, QStringLiteral("onReply"), relayPath(r, QStringLiteral("onReply")),
                                  Limit::Reply, regmap::relayTextSlot(r, RelayText::OnReply),
                                  {QT_TRANSLATE_NOOP("FieldTable", "继电器%1开启回复"), n},
                                  [r](auto &s) -> auto & { return s.relays[r].onReply; }, asStored));
        table.push_back(textField(FieldId::OffReply, r, relays, QStringLiteral("offReply"),
                                  relayPath(r, QStringLiteral("offReply")), Limit::Reply,
                                  regmap::relayTextSlot(r, RelayText::OffReply), {QT_TRANSLATE_NOOP("FieldTable", "继电器%1关闭回复"), n},
                                  [r](auto &s) -> auto & { return s.relays[r].offReply; }, asStored));

        Field time{FieldId::ActionTime, r, relays, QStringLiteral("actionTime"), relayPath(r, QStringLiteral("actionTime")),
                   ValueType::Integer, Limit::Register, {regmap::kActionTimes.start + r, 1},
                   {QT_TRANSLATE_NOOP("FieldTable", "继电器%1动作时间"), n}, {}, {}, {}, {}};
        time.get = [r](const ParameterSet &s) { return QJsonValue(s.relays[r].actionTime); };
        time.put = [r](ParameterSet &s, const QJsonValue &v) { s.relays[r].actionTime = v.toInt(); };
        time.read = [r](ParameterSet &s, int start, const QVector<quint16> &values) {
            if (start != regmap::kActionTimes.start)
                return false;
            const auto times = blocks::decodeActionTimes(values, static_cast<int>(values.size()));
            if (times)
                s.relays[r].actionTime = (*times)[r];
            return times.has_value();
        };
        time.registerValue = [r](const ParameterSet &s) {
            return static_cast<quint16>(static_cast<qint16>(s.relays[r].actionTime));
        };
        table.push_back(time);
        for (size_t i = first; i < table.size(); ++i)
            table[i].element = r;
    }

    // A device that never had the all-on or all-off command keeps the one the set holds.
    table.push_back(textField(FieldId::AllOn, 0, none, QStringLiteral("allOn"), QStringLiteral("parameters.allOn"),
                              Limit::Command, regmap::allCommandSlot(0), {QT_TRANSLATE_NOOP("FieldTable", "全开命令")},
                              [](auto &s) -> auto & { return s.allOn; }, fields::allCommandFromSlot));
    table.push_back(textField(FieldId::AllOff, 0, none, QStringLiteral("allOff"), QStringLiteral("parameters.allOff"),
                              Limit::Command, regmap::allCommandSlot(1), {QT_TRANSLATE_NOOP("FieldTable", "全关命令")},
                              [](auto &s) -> auto & { return s.allOff; }, fields::allCommandFromSlot));

    const QString alarmTexts = QStringLiteral("alarmTexts");
    const char *const textKeys[regmap::kAlarmTexts] = {"channel1Closing", "channel2Closing", "channel1Opening",
                                                       "channel2Opening"};
    for (int k = 0; k < regmap::kAlarmTexts; ++k) {
        const QString key = QLatin1String(textKeys[k]);
        // The channel list's entries name them.
        const Caption caption{k < 2 ? QT_TRANSLATE_NOOP("FieldTable", "通道%1闭合短信")
                                    : QT_TRANSLATE_NOOP("FieldTable", "通道%1断开短信"),
                              k % 2 + 1};
        table.push_back(textField(FieldId::AlarmText, k, alarmTexts, key, QStringLiteral("parameters.alarmTexts.") + key,
                                  Limit::SlotText, regmap::alarmTextSlot(k), caption,
                                  [k](auto &s) -> auto & { return s.alarmTexts[k]; }, asStored));
    }

    Field mode{FieldId::AlarmMode, 0, none, QStringLiteral("alarmMode"), QStringLiteral("parameters.alarmMode"),
               ValueType::Mode, Limit::None, {regmap::kAlarmMode, 1}, {QT_TRANSLATE_NOOP("FieldTable", "报警模式")}, {}, {}, {}, {}};
    mode.get = [](const ParameterSet &s) { return QJsonValue(modeName(s.alarmMode)); };
    mode.put = [](ParameterSet &s, const QJsonValue &v) {
        if (const std::optional<AlarmMode> named = modeFromName(v.toString()))
            s.alarmMode = *named;
    };
    mode.read = [](ParameterSet &s, int start, const QVector<quint16> &values) {
        if (start != regmap::kAlarmMode)
            return false;
        const std::optional<AlarmMode> m = blocks::decodeAlarmMode(values, static_cast<int>(values.size()));
        if (m)
            s.alarmMode = *m;
        return m.has_value();
    };
    mode.registerValue = [](const ParameterSet &s) {
        return static_cast<quint16>(fields::encodeAlarmMode(modeChoice(s.alarmMode)));
    };
    table.push_back(mode);

    // The two options share one register, each its own bit.
    auto option = [&](FieldId id, const QString &key, const char *caption, bool ParameterSet::*member,
                      bool fields::OptionFlags::*decoded, bool hold) {
        Field f{id, 0, none, key, QStringLiteral("parameters.") + key, ValueType::Flag, Limit::None,
                {regmap::kOptionFlags, 1}, {caption}, {}, {}, {}, {}};
        f.get = [member](const ParameterSet &s) { return QJsonValue(s.*member); };
        f.put = [member](ParameterSet &s, const QJsonValue &v) { s.*member = v.toBool(); };
        f.read = [member, decoded](ParameterSet &s, int start, const QVector<quint16> &values) {
            if (start != regmap::kOptionFlags)
                return false;
            const std::optional<fields::OptionFlags> flags =
                blocks::decodeOptionFlags(values, static_cast<int>(values.size()));
            if (flags)
                s.*member = (*flags).*decoded;
            return flags.has_value();
        };
        f.registerValue = [member, hold](const ParameterSet &s) {
            return static_cast<quint16>(hold ? fields::encodeOptionFlags(s.*member, false)
                                             : fields::encodeOptionFlags(false, s.*member));
        };
        table.push_back(f);
    };
    option(FieldId::PowerLossMemory, QStringLiteral("powerLossMemory"), QT_TRANSLATE_NOOP("FieldTable", "掉电记忆"),
           &ParameterSet::powerLossMemory, &fields::OptionFlags::hold, true);
    option(FieldId::PhoneAlarm, QStringLiteral("phoneAlarm"), QT_TRANSLATE_NOOP("FieldTable", "电话报警"), &ParameterSet::phoneAlarm,
           &fields::OptionFlags::phoneAlarm, false);
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
