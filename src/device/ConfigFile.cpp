#include "ConfigFile.h"

#include "DuplicateKeys.h"
#include "SafeFile.h"
#include "WritePlan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace config {

const char *const kFormat = "alarmcfg-config";

namespace {

using params::Problem;

QByteArray jsonString(const QString &text)
{
    // Qt's own escaping: the array brackets around the one value are dropped.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray jsonBool(bool b) { return b ? "true" : "false"; }

// Pretty-printing in a fixed key order, which QJsonObject does not keep.
class Writer {
public:
    void open(const char *key, char bracket)
    {
        member(key, QByteArray(1, bracket));
        ++m_depth;
        m_first = true;
    }
    void close(char bracket)
    {
        --m_depth;
        m_out += '\n' + indent() + bracket;
        m_first = false;
    }
    void member(const char *key, const QByteArray &value)
    {
        if (!m_first)
            m_out += ',';
        m_out += '\n' + indent();
        if (key)
            m_out += jsonString(QString::fromLatin1(key)) + ": ";
        m_out += value;
        m_first = false;
    }
    QByteArray text() const { return "{" + m_out + "\n}\n"; }

private:
    QByteArray indent() const { return QByteArray(2 * (m_depth + 1), ' '); }
    QByteArray m_out;
    int m_depth = 0;
    bool m_first = true;
};

} // namespace

QByteArray serialize(const params::ParameterSet &set, const QString &firmware, const QDateTime &saved)
{
    Writer w;
    w.member("format", jsonString(QString::fromLatin1(kFormat)));
    w.member("version", QByteArray::number(kVersion));
    if (saved.isValid())
        w.member("saved", jsonString(saved.toOffsetFromUtc(saved.offsetFromUtc()).toString(Qt::ISODate)));
    if (!firmware.isEmpty()) {
        w.open("device", '{');
        w.member("firmware", jsonString(firmware));
        w.close('}');
    }
    w.open("parameters", '{');
    QByteArrayList phones;
    for (const QString &phone : set.phones)
        phones << jsonString(phone);
    w.member("phones", "[" + phones.join(", ") + "]");
    w.member("password", jsonString(set.password));
    w.open("relays", '[');
    for (const params::RelaySettings &relay : set.relays) {
        w.open(nullptr, '{');
        w.member("on", jsonString(relay.on));
        w.member("off", jsonString(relay.off));
        w.member("onReply", jsonString(relay.onReply));
        w.member("offReply", jsonString(relay.offReply));
        w.member("actionTime", QByteArray::number(relay.actionTime));
        w.close('}');
    }
    w.close(']');
    w.member("allOn", jsonString(set.allOn));
    w.member("allOff", jsonString(set.allOff));
    w.open("alarmTexts", '{');
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        w.member(params::alarmTextKey(k).toLatin1().constData(), jsonString(set.alarmTexts[k]));
    w.close('}');
    w.member("alarmMode", jsonString(params::modeName(set.alarmMode)));
    w.member("powerLossMemory", jsonBool(set.powerLossMemory));
    w.member("phoneAlarm", jsonBool(set.phoneAlarm));
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

params::ParameterSet readParameters(Reader &r, const QJsonObject &p)
{
    const QString path = QStringLiteral("parameters");
    params::ParameterSet set;
    r.onlyKeys(p, path,
               {"phones", "password", "relays", "allOn", "allOff", "alarmTexts", "alarmMode", "powerLossMemory",
                "phoneAlarm"});

    if (const std::optional<QJsonValue> phones = r.required(p, path, QStringLiteral("phones"))) {
        if (!phones->isArray()) {
            r.problem(Problem::WrongType, QStringLiteral("parameters.phones"), QStringLiteral("an array of strings"));
        } else {
            const QJsonArray array = phones->toArray();
            if (array.size() > regmap::kPhoneSlots)
                r.problem(Problem::TooManyPhones, QStringLiteral("parameters.phones"), QString::number(array.size()));
            for (qsizetype i = 0; i < array.size(); ++i) {
                if (!array[i].isString())
                    r.problem(Problem::WrongType, params::phonePath(static_cast<int>(i)), QStringLiteral("a string"));
                set.phones << array[i].toString();
            }
        }
    }
    set.password = r.string(p, path, QStringLiteral("password"));

    if (const std::optional<QJsonValue> relays = r.required(p, path, QStringLiteral("relays"))) {
        if (!relays->isArray() || relays->toArray().size() != regmap::kRelayCount) {
            r.problem(Problem::WrongType, QStringLiteral("parameters.relays"),
                      QStringLiteral("an array of %1 relays").arg(regmap::kRelayCount));
        } else {
            for (int i = 0; i < regmap::kRelayCount; ++i) {
                const QString relayPath = QStringLiteral("parameters.relays[%1]").arg(i);
                const QJsonValue v = relays->toArray().at(i);
                if (!v.isObject()) {
                    r.problem(Problem::WrongType, relayPath, QStringLiteral("an object"));
                    continue;
                }
                const QJsonObject o = v.toObject();
                r.onlyKeys(o, relayPath, {"on", "off", "onReply", "offReply", "actionTime"});
                params::RelaySettings &relay = set.relays[i];
                relay.on = r.string(o, relayPath, QStringLiteral("on"));
                relay.off = r.string(o, relayPath, QStringLiteral("off"));
                relay.onReply = r.string(o, relayPath, QStringLiteral("onReply"));
                relay.offReply = r.string(o, relayPath, QStringLiteral("offReply"));
                if (const std::optional<QJsonValue> t = r.required(o, relayPath, QStringLiteral("actionTime"))) {
                    const double d = t->toDouble();
                    if (!t->isDouble() || d != std::floor(d))
                        r.problem(Problem::WrongType, params::actionTimePath(i), QStringLiteral("an integer"));
                    else if (d < -32768 || d > 32767)
                        r.problem(Problem::ActionTimeOutOfRange, params::actionTimePath(i), QString::number(d, 'g', 17));
                    else
                        relay.actionTime = static_cast<int>(d);
                }
            }
        }
    }
    set.allOn = r.string(p, path, QStringLiteral("allOn"));
    set.allOff = r.string(p, path, QStringLiteral("allOff"));

    const QJsonObject texts = r.object(p, path, QStringLiteral("alarmTexts"));
    QStringList textKeys;
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        textKeys << params::alarmTextKey(k);
    if (p.value(QStringLiteral("alarmTexts")).isObject()) {
        r.onlyKeys(texts, QStringLiteral("parameters.alarmTexts"), textKeys);
        for (int k = 0; k < regmap::kAlarmTexts; ++k)
            set.alarmTexts[k] = r.string(texts, QStringLiteral("parameters.alarmTexts"), textKeys[k]);
    }

    const QString mode = r.string(p, path, QStringLiteral("alarmMode"));
    const params::AlarmMode modes[] = {params::AlarmMode::Closing, params::AlarmMode::Opening, params::AlarmMode::Both,
                                       params::AlarmMode::None};
    const auto named = std::find_if(std::begin(modes), std::end(modes),
                                    [&](params::AlarmMode m) { return mode == params::modeName(m); });
    if (named != std::end(modes))
        set.alarmMode = *named;
    else if (p.value(QStringLiteral("alarmMode")).isString())
        r.problem(Problem::WrongType, params::alarmModePath(), QStringLiteral("closing, opening, both or none"));

    set.powerLossMemory = r.boolean(p, path, QStringLiteral("powerLossMemory"));
    set.phoneAlarm = r.boolean(p, path, QStringLiteral("phoneAlarm"));
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
