// The port map file and the look-up, the same on every platform; the
// system's port list is in SystemPorts_linux.cpp and SystemPorts_win.cpp.
#include "SystemPorts.h"

#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace ports {

QString portMapPath()
{
    // What AppConfigLocation gives the program alarmcfg, spelled out so that
    // every program of the tool (and every test binary) shares the one map.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/alarmcfg/ports.json");
}

LoadedMap loadPortMap(const QString &path)
{
    LoadedMap loaded;
    QFile file(path);
    if (!file.exists())
        return loaded;
    loaded.usable = false;
    if (!file.open(QIODevice::ReadOnly)) {
        loaded.problem = file.errorString();
        return loaded;
    }
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        loaded.problem = file.errorString();
        return loaded;
    }
    const std::optional<PortMap> map = parsePortMap(text, &loaded.problem);
    if (!map)
        return loaded;
    loaded.pins = *map;
    loaded.usable = true;
    return loaded;
}

bool savePortMap(const QString &path, const PortMap &map, QString *error)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("cannot make the folder %1").arg(info.absolutePath());
        return false;
    }
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
    return lookUpPorts(listSystemPorts(), portMapPath(),
                       [](const QString &name) { return qEnvironmentVariable(name.toLatin1().constData()); });
}

std::optional<QString> typedDevice(const QString &text)
{
    return typedPortDevice(text, thisPlatform());
}

} // namespace ports
