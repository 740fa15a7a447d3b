#include "BackupFile.h"

#include "ConfigFile.h"
#include "DuplicateKeys.h"
#include "ParameterReader.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace backup {

const char *const kFormat = "alarmcfg-backup";

namespace {

constexpr int kMaxNameAttempts = 1000;

QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

bool isWholeNumber(const QJsonValue &v, double min, double max)
{
    const double d = v.toDouble();
    return v.isDouble() && d == std::floor(d) && d >= min && d <= max;
}

} // namespace

std::vector<regmap::Block> backupBlocks()
{
    std::vector<regmap::Block> blocks = regmap::configurationBlocks();
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                                [](const regmap::Block &b) { return b.start == regmap::kStatusBlock.start; }),
                 blocks.end());
    return blocks;
}

QByteArray serialize(const Backup &b)
{
    QByteArray out = "{\n";
    out += "  \"format\": " + jsonString(QString::fromLatin1(kFormat)) + ",\n";
    out += "  \"version\": " + QByteArray::number(kVersion) + ",\n";
    out += "  \"saved\": " + jsonString(b.saved.toOffsetFromUtc(b.saved.offsetFromUtc()).toString(Qt::ISODateWithMs)) + ",\n";
    out += "  \"port\": " + jsonString(b.port) + ",\n";
    out += "  \"firmware\": " + jsonString(b.firmware) + ",\n";
    out += "  \"registers\": [";
    bool first = true;
    for (const auto &[start, values] : b.blocks) {
        QByteArrayList numbers;
        for (quint16 v : values)
            numbers << QByteArray::number(v);
        out += (first ? "\n" : ",\n");
        out += "    {\"start\": " + QByteArray::number(start) + ", \"values\": [" + numbers.join(", ") + "]}";
        first = false;
    }
    out += "\n  ],\n";
    // The decoded configuration, indented to sit inside this object.
    const QByteArray configuration = config::serialize(b.set, b.firmware, b.saved).trimmed();
    out += "  \"configuration\": " + configuration.split('\n').join("\n  ") + "\n}\n";
    return out;
}

ParseResult parse(const QByteArray &bytes)
{
    ParseResult result;
    auto problem = [&result](const QString &text) { result.problems << text; };
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        problem(QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset));
        return result;
    }
    if (!doc.isObject()) {
        problem(QStringLiteral("not a JSON object"));
        return result;
    }
    const std::vector<QString> repeated = jsonkeys::duplicates(bytes);
    for (const QString &key : repeated)
        problem(QStringLiteral("%1: the key comes twice").arg(key));
    if (!repeated.empty())
        return result;
    const QJsonObject top = doc.object();
    const QString format = top.value(QStringLiteral("format")).toString();
    if (format == QLatin1String(config::kFormat)) {
        problem(QStringLiteral("a configuration file, not a backup: write it with alarmcfg-cli write"));
        return result;
    }
    if (format != QLatin1String(kFormat)) {
        problem(QStringLiteral("format: not an alarmcfg backup"));
        return result;
    }
    const QJsonValue version = top.value(QStringLiteral("version"));
    if (!isWholeNumber(version, 1, 1e9)) {
        problem(QStringLiteral("version: missing or not a whole number"));
        return result;
    }
    if (version.toDouble() > kVersion) {
        problem(QStringLiteral("version: %1 is newer than this program reads (%2)").arg(version.toDouble()).arg(kVersion));
        return result;
    }

    Backup b;
    const QStringList known = {"format", "version", "saved", "port", "firmware", "registers", "configuration"};
    for (auto it = top.begin(); it != top.end(); ++it)
        if (!known.contains(it.key()))
            problem(QStringLiteral("%1: unknown key").arg(it.key()));
    for (const char *key : {"port", "firmware", "saved"}) {
        const QJsonValue v = top.value(QLatin1String(key));
        if (!v.isUndefined() && !v.isString())
            problem(QStringLiteral("%1: should be a string").arg(QLatin1String(key)));
    }
    b.port = top.value(QStringLiteral("port")).toString();
    b.firmware = top.value(QStringLiteral("firmware")).toString();
    b.saved = QDateTime::fromString(top.value(QStringLiteral("saved")).toString(), Qt::ISODateWithMs);
    if (top.contains(QStringLiteral("configuration")) && !top.value(QStringLiteral("configuration")).isObject())
        problem(QStringLiteral("configuration: should be an object"));

    const QJsonValue registers = top.value(QStringLiteral("registers"));
    if (!registers.isArray()) {
        problem(QStringLiteral("registers: missing or not an array"));
        return result;
    }
    std::map<int, int> expected; // start -> count
    for (const regmap::Block &block : backupBlocks())
        expected[block.start] = block.count;
    const QJsonArray array = registers.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral("registers[%1]").arg(i);
        const QJsonObject o = array.at(i).toObject();
        const QJsonValue start = o.value(QStringLiteral("start"));
        const QJsonValue values = o.value(QStringLiteral("values"));
        if (!array.at(i).isObject() || o.size() != 2 || !isWholeNumber(start, 0, 0xFFFF) || !values.isArray()) {
            problem(QStringLiteral("%1: should be {\"start\": address, \"values\": [registers]}").arg(where));
            continue;
        }
        const int address = static_cast<int>(start.toDouble());
        const auto block = expected.find(address);
        if (block == expected.end()) {
            problem(QStringLiteral("%1: no block of a backup starts at %2").arg(where).arg(address));
            continue;
        }
        if (b.blocks.count(address)) {
            problem(QStringLiteral("%1: the block at %2 comes twice").arg(where).arg(address));
            continue;
        }
        const QJsonArray numbers = values.toArray();
        if (numbers.size() != block->second) {
            problem(QStringLiteral("%1: %2 registers at %3, the block has %4")
                        .arg(where)
                        .arg(numbers.size())
                        .arg(address)
                        .arg(block->second));
            continue;
        }
        QVector<quint16> regs;
        for (const QJsonValue &n : numbers) {
            if (!isWholeNumber(n, 0, 0xFFFF)) {
                problem(QStringLiteral("%1: a register value that is not 0..65535").arg(where));
                break;
            }
            regs << static_cast<quint16>(n.toDouble());
        }
        if (regs.size() == numbers.size())
            b.blocks[address] = regs;
    }
    for (const auto &[start, count] : expected)
        if (!b.blocks.count(start) && result.problems.isEmpty())
            problem(QStringLiteral("registers: the block at %1 (%2 registers) is missing").arg(start).arg(count));
    if (!result.problems.isEmpty())
        return result;

    params::ParameterReader reader;
    for (const auto &[start, values] : b.blocks)
        reader.apply(start, values, static_cast<int>(values.size()));
    b.set = reader.set();
    result.backup = b;
    return result;
}

QString portFilePart(const QString &port)
{
    QString part;
    for (const QChar c : port) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
            part += c;
        else
            part += QStringLiteral("_%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
    }
    return part;
}

std::optional<QString> saveNew(const QString &dir, const Backup &b, QString *error)
{
    QString why;
    if (!safefile::makeFolder(dir, &why)) {
        *error = QStringLiteral("cannot save a backup in %1: %2").arg(dir, why);
        return std::nullopt;
    }
    const QByteArray bytes = serialize(b);
    const QString base = QDir(dir).filePath(b.saved.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) + u'-'
                                            + portFilePart(b.port));
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const QString path = base + (attempt == 1 ? QString() : QStringLiteral("-%1").arg(attempt)) + QStringLiteral(".json");
        QFile file(path);
        // Created here or not at all: an existing file is never opened. Only
        // its owner may read it: the commands carry the password.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
                continue;
            *error = QStringLiteral("cannot save %1: %2").arg(path, file.errorString());
            return std::nullopt;
        }
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            *error = QStringLiteral("cannot save %1: %2").arg(path, file.errorString());
            file.close();
            file.remove();
            return std::nullopt;
        }
        file.close();
        if (file.error() != QFileDevice::NoError) {
            *error = QStringLiteral("cannot save %1: %2").arg(path, file.errorString());
            file.remove();
            return std::nullopt;
        }
        return path;
    }
    *error = QStringLiteral("cannot save a backup in %1: %2 names taken").arg(dir).arg(kMaxNameAttempts);
    return std::nullopt;
}

} // namespace backup
