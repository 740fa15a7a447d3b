#include "BackupFile.h"

#include "ConfigFile.h"
#include "JsonWriter.h"
#include "DuplicateKeys.h"
#include "FieldTable.h"
#include "ParameterReader.h"
#include "FileKind.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QStringDecoder>

#include <cmath>

namespace backup {

const char *const kFormat = "alarmcfg-backup";

namespace {

constexpr int kMaxNameAttempts = 1000;

const QByteArray kUtf8Bom = "\xEF\xBB\xBF";

QString compactJson(const QJsonValue &v)
{
    if (v.isUndefined())
        return QStringLiteral("nothing");
    return QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

// A field's value in the parameters object of a configuration, as the
// configuration file nests it.
QJsonValue valueAt(const QJsonObject &parameters, const params::Field &f)
{
    if (f.group.isEmpty())
        return parameters.value(f.key);
    const QJsonValue group = parameters.value(f.group);
    const QJsonObject holder = f.element >= 0 ? group.toArray().at(f.element).toObject() : group.toObject();
    return holder.value(f.key);
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
    json::Writer w;
    w.member(QStringLiteral("format"), json::string(QString::fromLatin1(kFormat)));
    w.member(QStringLiteral("version"), QByteArray::number(kVersion));
    w.member(QStringLiteral("saved"), json::string(b.saved.toOffsetFromUtc(b.saved.offsetFromUtc()).toString(Qt::ISODateWithMs)));
    w.member(QStringLiteral("port"), json::string(b.port));
    w.member(QStringLiteral("firmware"), json::string(b.firmware));
    w.open(QStringLiteral("registers"), '[');
    for (const auto &[start, values] : b.blocks) {
        QByteArrayList numbers;
        for (quint16 v : values)
            numbers << QByteArray::number(v);
        w.member(QString(), "{\"start\": " + QByteArray::number(start) + ", \"values\": [" + numbers.join(", ") + "]}");
    }
    w.close(']');
    // The registers decoded, for a person to read: what parse() holds them to.
    params::ParameterReader reader;
    for (const auto &[start, values] : b.blocks)
        reader.apply(start, values, static_cast<int>(values.size()));
    w.member(QStringLiteral("configuration"), config::serialize(reader.set(), b.firmware, b.saved).trimmed());
    return w.text();
}

namespace {

// The envelope: UTF-8 JSON, one object with no key twice, a backup's format
// in a version this program reads, and its other keys of the right types.
// The object, or nothing when the rest cannot be looked at.
std::optional<QJsonObject> envelope(const QByteArray &bytes, QStringList &problems)
{
    // A backup opened in an editor may come back in another encoding.
    if (const QString wrong = encodingProblem(bytes); !wrong.isEmpty()) {
        problems << wrong;
        return std::nullopt;
    }
    // Notepad's UTF-8 starts with a byte order mark, which JSON does not know.
    const QByteArray text = bytes.startsWith(kUtf8Bom) ? bytes.mid(3) : bytes;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        problems << QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset);
        return std::nullopt;
    }
    if (!doc.isObject()) {
        problems << QStringLiteral("not a JSON object");
        return std::nullopt;
    }
    const std::vector<QString> repeated = jsonkeys::duplicates(text);
    for (const QString &key : repeated)
        problems << QStringLiteral("%1: the key comes twice").arg(key);
    if (!repeated.empty())
        return std::nullopt;
    const QJsonObject top = doc.object();
    const QString format = top.value(QStringLiteral("format")).toString();
    if (format == QLatin1String(config::kFormat)) {
        problems << QStringLiteral("a configuration file, not a backup: write it with alarmcfg-cli write");
        return std::nullopt;
    }
    if (format != QLatin1String(kFormat)) {
        problems << QStringLiteral("format: not an alarmcfg backup");
        return std::nullopt;
    }
    const QJsonValue version = top.value(QStringLiteral("version"));
    if (!isWholeNumber(version, 1, 1e9)) {
        problems << QStringLiteral("version: missing or not a whole number");
        return std::nullopt;
    }
    if (version.toDouble() > kVersion) {
        problems << QStringLiteral("version: %1 is newer than this program reads (%2)").arg(version.toDouble()).arg(kVersion);
        return std::nullopt;
    }
    const QStringList known = {"format", "version", "saved", "port", "firmware", "registers", "configuration"};
    for (auto it = top.begin(); it != top.end(); ++it)
        if (!known.contains(it.key()))
            problems << QStringLiteral("%1: unknown key").arg(it.key());
    for (const char *key : {"port", "firmware", "saved"}) {
        const QJsonValue v = top.value(QLatin1String(key));
        if (!v.isUndefined() && !v.isString())
            problems << QStringLiteral("%1: should be a string").arg(QLatin1String(key));
    }
    if (top.contains(QStringLiteral("configuration")) && !top.value(QStringLiteral("configuration")).isObject())
        problems << QStringLiteral("configuration: should be an object");
    return top;
}

// The registers: every block of backupBlocks() once, with its count, each
// value a register's; a bad value is named by its register. A missing block
// is told only when nothing else is wrong.
std::map<int, QVector<quint16>> registerBlocks(const QJsonValue &registers, QStringList &problems)
{
    std::map<int, QVector<quint16>> blocks;
    if (!registers.isArray()) {
        problems << QStringLiteral("registers: missing or not an array");
        return blocks;
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
            problems << QStringLiteral("%1: should be {\"start\": address, \"values\": [registers]}").arg(where);
            continue;
        }
        const int address = static_cast<int>(start.toDouble());
        const auto block = expected.find(address);
        if (block == expected.end()) {
            problems << QStringLiteral("%1: no block of a backup starts at %2").arg(where).arg(address);
            continue;
        }
        if (blocks.count(address)) {
            problems << QStringLiteral("%1: the block at %2 comes twice").arg(where).arg(address);
            continue;
        }
        const QJsonArray numbers = values.toArray();
        if (numbers.size() != block->second) {
            problems << QStringLiteral("%1: %2 registers at %3, the block has %4")
                            .arg(where)
                            .arg(numbers.size())
                            .arg(address)
                            .arg(block->second);
            continue;
        }
        QVector<quint16> regs;
        for (qsizetype k = 0; k < numbers.size(); ++k) {
            const QJsonValue n = numbers.at(k);
            if (!isWholeNumber(n, 0, 0xFFFF)) {
                problems << QStringLiteral("register %1: %2 is not a register value (a whole number 0..65535)")
                                .arg(address + k)
                                .arg(compactJson(n));
                break;
            }
            regs << static_cast<quint16>(n.toDouble());
        }
        if (regs.size() == numbers.size())
            blocks[address] = regs;
    }
    for (const auto &[start, count] : expected)
        if (!blocks.count(start) && problems.isEmpty())
            problems << QStringLiteral("registers: the block at %1 (%2 registers) is missing").arg(start).arg(count);
    return blocks;
}

// The readable part, where there is one, must say what the registers say:
// an edit there would otherwise be ignored without a word.
void checkConfiguration(const QJsonValue &configuration, const params::ParameterSet &set, QStringList &problems)
{
    if (!configuration.isObject())
        return;
    const QJsonObject parameters = configuration.toObject().value(QStringLiteral("parameters")).toObject();
    for (const params::Field &f : params::fieldTable()) {
        const QJsonValue inFile = valueAt(parameters, f);
        if (inFile != f.get(set))
            problems << QStringLiteral("configuration: %1 says %2, its registers %3: only the registers are put back; "
                                       "edit the registers, or remove the configuration section")
                            .arg(f.path, compactJson(inFile), compactJson(f.get(set)));
    }
}

} // namespace

ParseResult parse(const QByteArray &bytes)
{
    ParseResult result;
    const std::optional<QJsonObject> top = envelope(bytes, result.problems);
    if (!top)
        return result;
    Backup b;
    b.port = top->value(QStringLiteral("port")).toString();
    b.firmware = top->value(QStringLiteral("firmware")).toString();
    b.saved = QDateTime::fromString(top->value(QStringLiteral("saved")).toString(), Qt::ISODateWithMs);
    b.blocks = registerBlocks(top->value(QStringLiteral("registers")), result.problems);
    if (!result.problems.isEmpty())
        return result;
    params::ParameterReader reader;
    for (const auto &[start, values] : b.blocks)
        reader.apply(start, values, static_cast<int>(values.size()));
    b.set = reader.set();
    checkConfiguration(top->value(QStringLiteral("configuration")), b.set, result.problems);
    if (result.problems.isEmpty())
        result.backup = b;
    return result;
}

ParseResult readFile(const QString &path)
{
    // Never waits: a FIFO or a device is turned away, not opened.
    const filekind::Contents contents = filekind::readRegular(path, config::kMaxFileBytes);
    ParseResult result;
    using params::Problem;
    if (contents.notAFile)
        result.unread = Problem{Problem::NotAFile, QString(), QString(), static_cast<int>(*contents.notAFile)};
    else if (!contents.bytes)
        result.unread = Problem{Problem::CannotRead, QString(), contents.systemText};
    else if (contents.bytes->size() > config::kMaxFileBytes)
        result.unread = Problem{Problem::TooLarge, QString(), QString::number(contents.bytes->size())};
    else
        return parse(*contents.bytes);
    return result;
}

QString encodingProblem(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")
        || (bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0')))
        return QStringLiteral("saved as UTF-16 (what Notepad calls \"Unicode\"), not UTF-8: save it as UTF-8 and try again");
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8.decode(bytes);
    Q_UNUSED(decoded)
    if (utf8.hasError())
        return QStringLiteral("not UTF-8 text (saved in another encoding, such as ANSI or GBK): save it as UTF-8 and try again");
    return QString();
}

std::vector<params::PlannedWrite> restoreWrites(const Backup &b)
{
    std::vector<params::PlannedWrite> writes;
    for (const auto &[start, values] : b.blocks) {
        const bool single = values.size() == 1;
        writes.push_back({start, values, single, {},
                          QStringLiteral("registers %1..%2").arg(start).arg(start + values.size() - 1), QString(), true,
                          false});
    }
    return writes;
}

QString defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/backups");
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

std::optional<QString> saveNew(const QString &dir, const Backup &b, QString *error, const QString &portName)
{
    QString why;
    if (!safefile::makeFolder(dir, &why)) {
        *error = QStringLiteral("cannot save a backup in %1: %2").arg(dir, why);
        return std::nullopt;
    }
    const QByteArray bytes = serialize(b);
    const QString base = QDir(dir).filePath(b.saved.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) + u'-'
                                            + portFilePart(portName.isEmpty() ? b.port : portName));
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
