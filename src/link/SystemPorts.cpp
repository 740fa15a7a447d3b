// The port map file and the look-up, the same on every platform; the
// system's port list is in SystemPorts_linux.cpp and SystemPorts_win.cpp.
#include "SystemPorts.h"

#include "SafeFile.h"
#include "Trace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace ports {

namespace {
// Far more than seven pins take; a larger file is no port map.
constexpr qint64 kMaxPortMapBytes = 1024 * 1024;
} // namespace

QString portMapPath()
{
    // What AppConfigLocation gives the program alarmcfg, spelled out so that
    // every program of the tool (and every test binary) shares the one map.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/alarmcfg/ports.json");
}

LoadedMap loadPortMap(const QString &path)
{
    LoadedMap loaded;
    const std::optional<QByteArray> bytes = safefile::readSettings(path, kMaxPortMapBytes, &loaded.problem);
    loaded.usable = bytes.has_value() || loaded.problem.isEmpty();
    if (!bytes)
        return loaded;
    loaded.usable = false;
    const std::optional<PortMap> map = parsePortMap(*bytes, &loaded.problem);
    if (!map)
        return loaded;
    loaded.pins = *map;
    loaded.usable = true;
    return loaded;
}

bool savePortMap(const QString &path, const PortMap &map, QString *error)
{
    if (!safefile::makeFolder(QFileInfo(path).absolutePath(), error))
        return false;
    return safefile::write(path, serializePortMap(map),
                           QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther,
                           error);
}

PortTable lookUpPorts(const QList<SystemPort> &present, const QString &mapPath, const EnvLookup &env)
{
    PortTable table;
    table.present = present;
    // Windows numbers its ports itself: there is no map to read.
    const Platform platform = thisPlatform();
    const LoadedMap loaded = platform == Platform::Linux ? loadPortMap(mapPath) : LoadedMap{};
    if (!loaded.usable)
        table.notes << QStringLiteral("port map %1 ignored and left as it is: %2").arg(mapPath, loaded.problem);

    Resolved resolved = resolve(env, present, loaded.pins, platform);
    if (!resolved.newPins.empty()) {
        bool saved = false;
        if (loaded.usable) {
            PortMap merged = loaded.pins;
            merged.insert(resolved.newPins.begin(), resolved.newPins.end());
            QString error;
            saved = savePortMap(mapPath, merged, &error);
            if (!saved)
                table.notes << QStringLiteral("port map %1 not saved: %2").arg(mapPath, error);
        }
        if (!saved) {
            for (Resolution &r : resolved.com)
                if (r.rule == Rule::Assigned)
                    r.rule = Rule::Unsaved;
        }
    }
    table.com = resolved.com;
    return table;
}

PortTable lookUpPorts()
{
    PortTable table = lookUpPorts(listSystemPorts(), portMapPath(),
                                  [](const QString &name) { return qEnvironmentVariable(name.toLatin1().constData()); });
    // Why a map was ignored or not saved, for ALARMCFG_TRACE.
    if (trace::enabledByEnvironment())
        for (const QString &note : table.notes)
            trace::line(QString(), "PORT", note);
    return table;
}

std::optional<QString> typedDevice(const QString &text)
{
    return typedPortDevice(text, thisPlatform());
}

} // namespace ports
