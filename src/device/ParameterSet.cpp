#include "ParameterSet.h"

#include "FieldTable.h"

#include <QJsonArray>

#include <algorithm>

namespace params {

bool ParameterSet::sameConfiguration(const ParameterSet &o) const
{
    return std::all_of(fieldTable().begin(), fieldTable().end(), [&](const Field &f) { return f.get(*this) == f.get(o); });
}

ParameterSet factorySet()
{
    ParameterSet set;
    for (const Field &f : fieldTable())
        f.put(set, f.factory);
    return set;
}

ParameterSet startUpSet()
{
    ParameterSet set;
    for (const Field &f : fieldTable())
        f.put(set, f.startUp.value_or(f.factory));
    return set;
}

void applyFactoryTable(ParameterSet &set)
{
    for (const Field &f : fieldTable())
        if (f.restoredByFactory)
            f.put(set, f.factory);
}

QString modeName(AlarmMode mode)
{
    switch (mode) {
    case AlarmMode::Closing: return QStringLiteral("closing");
    case AlarmMode::Opening: return QStringLiteral("opening");
    case AlarmMode::Both: return QStringLiteral("both");
    case AlarmMode::None: break;
    }
    return QStringLiteral("none");
}

std::optional<AlarmMode> modeFromName(const QString &name)
{
    for (AlarmMode mode : {AlarmMode::Closing, AlarmMode::Opening, AlarmMode::Both, AlarmMode::None})
        if (name == modeName(mode))
            return mode;
    return std::nullopt;
}

std::vector<Difference> differences(const ParameterSet &a, const ParameterSet &b)
{
    std::vector<Difference> out;
    auto compare = [&out](const QString &field, const QString &x, const QString &y) {
        if (x != y)
            out.push_back({field, x, y});
    };
    for (const Field &f : fieldTable()) {
        const QJsonValue x = f.get(a), y = f.get(b);
        if (f.type != ValueType::TextList) {
            compare(f.path, valueText(f.type, x), valueText(f.type, y));
            continue;
        }
        // A list differs entry by entry, a missing entry counting as empty.
        const QJsonArray xs = x.toArray(), ys = y.toArray();
        for (qsizetype i = 0; i < std::max(xs.size(), ys.size()); ++i)
            compare(QStringLiteral("%1[%2]").arg(f.path).arg(i), xs.at(i).toString(), ys.at(i).toString());
    }
    return out;
}

int modeChoice(AlarmMode mode)
{
    switch (mode) {
    case AlarmMode::Closing: return 0;
    case AlarmMode::Opening: return 1;
    case AlarmMode::Both: return 2;
    case AlarmMode::None: break;
    }
    return -1;
}

AlarmMode modeFromChoice(int choice)
{
    switch (choice) {
    case 0: return AlarmMode::Closing;
    case 1: return AlarmMode::Opening;
    case 2: return AlarmMode::Both;
    default: return AlarmMode::None;
    }
}

} // namespace params
