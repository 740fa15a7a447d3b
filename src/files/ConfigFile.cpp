#include "ConfigFile.h"

#include "JsonWriter.h"

#include "DuplicateKeys.h"
#include "FieldTable.h"
#include "SafeFile.h"
#include "WritePlan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace config {

const char *const kFormat = "alarmcfg-config";

namespace {

using params::Problem;

// A value as the file prints it; the phone list stays on one line.
QByteArray valueJson(const params::Field &f, const QJsonValue &v)
{
    switch (f.type) {
    case params::ValueType::Text:
    case params::ValueType::Mode: return json::string(v.toString());
    case params::ValueType::Integer: return QByteArray::number(v.toInt());
    case params::ValueType::Flag: return json::boolean(v.toBool());
    case params::ValueType::TextList: break;
    }
    QByteArrayList entries;
    for (const QJsonValue &entry : v.toArray())
        entries << json::string(entry.toString());
    return "[" + entries.join(", ") + "]";
}

} // namespace

QByteArray serialize(const params::ParameterSet &set, const QString &firmware, const QDateTime &saved)
{
    json::Writer w;
    w.member(QStringLiteral("format"), json::string(QString::fromLatin1(kFormat)));
    w.member(QStringLiteral("version"), QByteArray::number(kVersion));
    if (saved.isValid())
        w.member(QStringLiteral("saved"), json::string(saved.toOffsetFromUtc(saved.offsetFromUtc()).toString(Qt::ISODate)));
    if (!firmware.isEmpty()) {
        w.open(QStringLiteral("device"), '{');
        w.member(QStringLiteral("firmware"), json::string(firmware));
        w.close('}');
    }
    w.open(QStringLiteral("parameters"), '{');
    // The table's order is the file's; the fields of a group sit in its
    // object, or in one object for each element of its array.
    const std::vector<params::Field> &table = params::fieldTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const params::Field &f = table[i];
        const params::Field *before = i > 0 ? &table[i - 1] : nullptr;
        const params::Field *after = i + 1 < table.size() ? &table[i + 1] : nullptr;
        const bool inArray = f.element >= 0;
        const bool opensGroup = !f.group.isEmpty() && (!before || before->group != f.group);
        const bool closesGroup = !f.group.isEmpty() && (!after || after->group != f.group);
        if (opensGroup)
            w.open(f.group, inArray ? '[' : '{');
        if (inArray && (opensGroup || before->element != f.element))
            w.open(QString(), '{');
        w.member(f.key, valueJson(f, f.get(set)));
        if (inArray && (closesGroup || after->element != f.element))
            w.close('}');
        if (closesGroup)
            w.close(inArray ? ']' : '}');
    }
    w.close('}');
    return w.text();
}

namespace {

// Walks a parsed file, noting every problem with the path of its field.
class Reader {
public:
    std::vector<Problem> problems;

    void problem(Problem::Kind kind, const QString &field, const QString &detail = QString())
    {
        problems.push_back({kind, field, detail});
    }

    // Unknown keys of an object, so that a misspelt key never drops a field silently.
    void onlyKeys(const QJsonObject &object, const QString &path, const QStringList &known)
    {
        for (auto it = object.begin(); it != object.end(); ++it)
            if (!known.contains(it.key()))
                problem(Problem::UnknownKey, join(path, it.key()));
    }

    std::optional<QJsonValue> required(const QJsonObject &object, const QString &path, const QString &key)
    {
        if (!object.contains(key)) {
            problem(Problem::MissingKey, join(path, key));
            return std::nullopt;
        }
        return object.value(key);
    }

    QString string(const QJsonObject &object, const QString &path, const QString &key)
    {
        const std::optional<QJsonValue> v = required(object, path, key);
        if (v && !v->isString())
            problem(Problem::WrongType, join(path, key), QStringLiteral("a string"));
        return v ? v->toString() : QString();
    }

    bool boolean(const QJsonObject &object, const QString &path, const QString &key)
    {
        const std::optional<QJsonValue> v = required(object, path, key);
        if (v && !v->isBool())
            problem(Problem::WrongType, join(path, key), QStringLiteral("true or false"));
        return v && v->toBool();
    }

    QJsonObject object(const QJsonObject &parent, const QString &path, const QString &key)
    {
        const std::optional<QJsonValue> v = required(parent, path, key);
        if (v && !v->isObject())
            problem(Problem::WrongType, join(path, key), QStringLiteral("an object"));
        return v ? v->toObject() : QJsonObject();
    }

    static QString join(const QString &path, const QString &key) { return path.isEmpty() ? key : path + u'.' + key; }
};

void readField(Reader &r, const QJsonObject &object, const QString &parent, const params::Field &f,
               params::ParameterSet &set)
{
    switch (f.type) {
    case params::ValueType::Text: f.put(set, r.string(object, parent, f.key)); return;
    case params::ValueType::Flag: f.put(set, r.boolean(object, parent, f.key)); return;
    case params::ValueType::Mode: {
        const QString name = r.string(object, parent, f.key);
        if (params::modeFromName(name))
            f.put(set, name);
        else if (object.value(f.key).isString())
            r.problem(Problem::WrongType, f.path, QStringLiteral("closing, opening, both or none"));
        return;
    }
    case params::ValueType::Integer:
        if (const std::optional<QJsonValue> t = r.required(object, parent, f.key)) {
            const double d = t->toDouble();
            if (!t->isDouble() || d != std::floor(d))
                r.problem(Problem::WrongType, f.path, QStringLiteral("an integer"));
            else if (!params::fitsRegister(d))
                r.problem(Problem::ActionTimeOutOfRange, f.path, QString::number(d, 'g', 17));
            else
                f.put(set, static_cast<int>(d));
        }
        return;
    case params::ValueType::TextList:
        if (const std::optional<QJsonValue> list = r.required(object, parent, f.key)) {
            if (!list->isArray()) {
                r.problem(Problem::WrongType, f.path, QStringLiteral("an array of strings"));
                return;
            }
            const QJsonArray array = list->toArray();
            if (array.size() > params::kMaxPhones)
                r.problem(Problem::TooManyPhones, f.path, QString::number(array.size()));
            QStringList entries;
            for (qsizetype i = 0; i < array.size(); ++i) {
                if (!array[i].isString())
                    r.problem(Problem::WrongType, QStringLiteral("%1[%2]").arg(f.path).arg(i), QStringLiteral("a string"));
                entries << array[i].toString();
            }
            f.put(set, QJsonArray::fromStringList(entries));
        }
        return;
    }
}

QStringList keysOf(const std::vector<const params::Field *> &fields)
{
    QStringList keys;
    for (const params::Field *f : fields)
        keys << f->key;
    return keys;
}

// The fields of one group: an object of them, or an array of objects, one
// for each element.
void readGroup(Reader &r, const QJsonObject &p, const QString &parent, const std::vector<const params::Field *> &members,
               params::ParameterSet &set)
{
    const QString group = members.front()->group;
    const QString path = Reader::join(parent, group);
    if (members.front()->element < 0) {
        const QJsonObject o = r.object(p, parent, group);
        if (!p.value(group).isObject())
            return;
        r.onlyKeys(o, path, keysOf(members));
        for (const params::Field *f : members)
            readField(r, o, path, *f, set);
        return;
    }
    const std::optional<QJsonValue> v = r.required(p, parent, group);
    if (!v)
        return;
    const int elements = members.back()->element + 1;
    if (!v->isArray() || v->toArray().size() != elements) {
        r.problem(Problem::WrongType, path, QStringLiteral("an array of %1 %2").arg(elements).arg(group));
        return;
    }
    for (int e = 0; e < elements; ++e) {
        const QString elementPath = QStringLiteral("%1[%2]").arg(path).arg(e);
        const QJsonValue element = v->toArray().at(e);
        if (!element.isObject()) {
            r.problem(Problem::WrongType, elementPath, QStringLiteral("an object"));
            continue;
        }
        std::vector<const params::Field *> own;
        std::copy_if(members.begin(), members.end(), std::back_inserter(own),
                     [e](const params::Field *f) { return f->element == e; });
        r.onlyKeys(element.toObject(), elementPath, keysOf(own));
        for (const params::Field *f : own)
            readField(r, element.toObject(), elementPath, *f, set);
    }
}

params::ParameterSet readParameters(Reader &r, const QJsonObject &p)
{
    const QString path = QStringLiteral("parameters");
    params::ParameterSet set;
    const std::vector<params::Field> &table = params::fieldTable();
    QStringList keys;
    for (const params::Field &f : table) {
        const QString key = f.group.isEmpty() ? f.key : f.group;
        if (!keys.contains(key))
            keys << key;
    }
    r.onlyKeys(p, path, keys);
    for (size_t i = 0; i < table.size();) {
        if (table[i].group.isEmpty()) {
            readField(r, p, path, table[i++], set);
            continue;
        }
        std::vector<const params::Field *> members;
        for (const QString group = table[i].group; i < table.size() && table[i].group == group; ++i)
            members.push_back(&table[i]);
        readGroup(r, p, path, members, set);
    }
    return set;
}

} // namespace

ParseResult parse(const QByteArray &bytes)
{
    ParseResult result;
    Reader r;
    if (bytes.size() > kMaxFileBytes) {
        r.problem(Problem::TooLarge, QString(), QString::number(bytes.size()));
        result.problems = r.problems;
        return result;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        r.problem(Problem::NotJson, QString(), QStringLiteral("%1 at byte %2").arg(error.errorString()).arg(error.offset));
    } else if (!doc.isObject()) {
        r.problem(Problem::NotAnObject, QString());
    }
    if (!r.problems.empty()) {
        result.problems = r.problems;
        return result;
    }
    // Which of two values was meant is not ours to guess.
    for (const QString &key : jsonkeys::duplicates(bytes))
        r.problem(Problem::DuplicateKey, key);

    const QJsonObject top = doc.object();
    const QString format = top.value(QStringLiteral("format")).toString();
    if (!top.contains(QStringLiteral("format")))
        r.problem(Problem::MissingKey, QStringLiteral("format"));
    else if (format != QLatin1String(kFormat))
        r.problem(Problem::WrongFormat, QStringLiteral("format"), top.value(QStringLiteral("format")).toVariant().toString());
    const QJsonValue version = top.value(QStringLiteral("version"));
    if (!top.contains(QStringLiteral("version")))
        r.problem(Problem::VersionMissing, QStringLiteral("version"));
    else if (!version.isDouble() || version.toDouble() != std::floor(version.toDouble()) || version.toDouble() < 1)
        r.problem(Problem::WrongType, QStringLiteral("version"), QStringLiteral("the integer %1").arg(kVersion));
    else if (version.toDouble() > kVersion)
        r.problem(Problem::VersionTooNew, QStringLiteral("version"), QString::number(version.toDouble(), 'g', 17));
    // What another format or a newer version holds is not ours to judge.
    if (!r.problems.empty()) {
        result.problems = r.problems;
        return result;
    }

    r.onlyKeys(top, QString(), {"format", "version", "saved", "device", "parameters"});
    if (top.contains(QStringLiteral("saved")) && !top.value(QStringLiteral("saved")).isString())
        r.problem(Problem::WrongType, QStringLiteral("saved"), QStringLiteral("a string"));
    Configuration configuration;
    if (top.contains(QStringLiteral("device"))) {
        const QJsonObject device = r.object(top, QString(), QStringLiteral("device"));
        r.onlyKeys(device, QStringLiteral("device"), {"firmware"});
        if (device.contains(QStringLiteral("firmware")))
            configuration.firmware = r.string(device, QStringLiteral("device"), QStringLiteral("firmware"));
    }
    const QJsonObject parameters = r.object(top, QString(), QStringLiteral("parameters"));
    if (top.value(QStringLiteral("parameters")).isObject())
        configuration.set = readParameters(r, parameters);

    // A file the write would refuse is refused now, before anything changes.
    // A field already found wrong stands as read: empty or 0, which no check
    // refuses, so every problem a check names is one of the file's own.
    for (const Problem &p : params::checkParameters(configuration.set))
        if (std::none_of(r.problems.begin(), r.problems.end(), [&](const Problem &q) { return q.field == p.field; }))
            r.problems.push_back(p);
    result.problems = r.problems;
    if (result.problems.empty())
        result.configuration = configuration;
    return result;
}

ParseResult readFile(const QString &path)
{
    // Never waits: a FIFO or a device is turned away, not opened.
    const filekind::Contents contents = filekind::readRegular(path, kMaxFileBytes);
    if (contents.bytes)
        return parse(*contents.bytes);
    ParseResult result;
    if (contents.notAFile)
        result.problems.push_back({Problem::NotAFile, QString(), QString(), static_cast<int>(*contents.notAFile)});
    else
        result.problems.push_back({Problem::CannotRead, QString(), contents.systemText});
    return result;
}

bool writeFile(const QString &path, const QByteArray &bytes, safefile::Failure *failure)
{
    // The password is in the file: only its owner may read it.
    return safefile::write(path, bytes, QFileDevice::ReadOwner | QFileDevice::WriteOwner, failure);
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    safefile::Failure failure;
    if (writeFile(path, bytes, &failure))
        return true;
    *error = failure.text();
    return false;
}

} // namespace config
