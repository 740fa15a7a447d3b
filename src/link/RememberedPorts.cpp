#include "RememberedPorts.h"

#include "FileKind.h"
#include "NetworkPort.h"
#include "SafeFile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

namespace ports {

namespace {
constexpr qint64 kMaxFileBytes = 64 * 1024;

QString canonicalOf(const QString &name)
{
    const std::optional<NetworkPort> p = parseNetworkPort(name);
    return p ? p->canonical() : name.trimmed();
}
} // namespace

QString rememberedPortsPath()
{
    // Beside the port map, shared by every program of the tool.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/alarmcfg/network-ports.json");
}

RememberedPorts loadRememberedPorts(const QString &path)
{
    RememberedPorts loaded;
    const std::optional<QByteArray> bytes = safefile::readSettings(path, kMaxFileBytes, &loaded.problem);
    loaded.usable = bytes.has_value() || loaded.problem.isEmpty();
    if (!bytes)
        return loaded;
    loaded.usable = false;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(*bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) {
        loaded.problem = QStringLiteral("not a JSON array of port names");
        return loaded;
    }
    QStringList names;
    for (const QJsonValue &v : doc.array()) {
        QString why;
        if (!v.isString() || !parseNetworkPort(v.toString(), &why)) {
            loaded.problem = QStringLiteral("%1 is no network port name%2")
                                 .arg(QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact)),
                                      why.isEmpty() ? QString() : QStringLiteral(": ") + why);
            return loaded;
        }
        names << v.toString();
    }
    loaded.names = names;
    loaded.usable = true;
    return loaded;
}

bool saveRememberedPorts(const QString &path, const QStringList &names, QString *error)
{
    if (!safefile::makeFolder(QFileInfo(path).absolutePath(), error))
        return false;
    return safefile::write(path, QJsonDocument(QJsonArray::fromStringList(names)).toJson(QJsonDocument::Indented),
                           QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther,
                           error);
}

QStringList rememberPort(const QStringList &names, const QString &name)
{
    const QString key = canonicalOf(name);
    QStringList out{name.trimmed()};
    for (const QString &n : names)
        if (canonicalOf(n) != key && out.size() < kMaxRememberedPorts)
            out << n;
    return out;
}

} // namespace ports
