#include "SystemPorts.h"

#include "SafeFile.h"
#include "Trace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <algorithm>

namespace ports {

namespace {

const QString kSysClassTty = QStringLiteral("/sys/class/tty");
// Far more than seven pins take; a larger file is no port map.
constexpr qint64 kMaxPortMapBytes = 1024 * 1024;

bool isUartName(const QString &name)
{
    static const QRegularExpression uart(QStringLiteral("^ttyS[0-9]+$"));
    return uart.match(name).hasMatch();
}

// The kernel makes ttyS0..ttyS3 (or more) whether or not a UART is there; its
// sysfs "type" is 0 (PORT_UNKNOWN) for those without hardware.
SystemPort::Kind uartKind(const QString &name)
{
    QFile type(kSysClassTty + QLatin1Char('/') + name + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return SystemPort::Kind::PhantomUart;
    bool ok = false;
    const int value = type.readAll().trimmed().toInt(&ok);
    return ok && value != 0 ? SystemPort::Kind::BuiltInUart : SystemPort::Kind::PhantomUart;
}

SystemPort::Kind kindOf(const QString &name)
{
    if (isUartName(name))
        return uartKind(name);
    const QString device = QFileInfo(kSysClassTty + QLatin1Char('/') + name + QStringLiteral("/device")).canonicalFilePath();
    return device.contains(QStringLiteral("/usb")) ? SystemPort::Kind::UsbAdapter : SystemPort::Kind::Other;
}

// Device node -> the link udev made for it in one folder of /dev/serial.
QHash<QString, QString> stableLinks(const QString &folder)
{
    QHash<QString, QString> links;
    const QDir dir(folder);
    for (const QFileInfo &link : dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty())
            links.insert(target, link.absoluteFilePath());
    }
    return links;
}

} // namespace

QList<SystemPort> listSystemPorts()
{
    QList<SystemPort> present;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        SystemPort p;
        p.name = info.portName();
        p.device = info.systemLocation();
        p.description = info.description();
        p.manufacturer = info.manufacturer();
        p.serialNumber = info.serialNumber();
        if (info.hasVendorIdentifier())
            p.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            p.productId = info.productIdentifier();
        present << p;
    }
    // Qt leaves some built-in UARTs out of its list; sysfs has them all.
    const QStringList uarts = QDir(kSysClassTty).entryList({QStringLiteral("ttyS*")}, QDir::AllEntries | QDir::System);
    for (const QString &name : uarts) {
        if (!isUartName(name) || std::any_of(present.begin(), present.end(), [&](const SystemPort &p) { return p.name == name; }))
            continue;
        SystemPort p;
        p.name = name;
        p.device = QStringLiteral("/dev/") + name;
        present << p;
    }

    const QHash<QString, QString> byId = stableLinks(QStringLiteral("/dev/serial/by-id"));
    const QHash<QString, QString> byPath = stableLinks(QStringLiteral("/dev/serial/by-path"));
    for (SystemPort &p : present) {
        p.kind = kindOf(p.name);
        const QString node = QFileInfo(p.device).canonicalFilePath();
        p.byId = byId.value(node);
        p.byPath = byPath.value(node);
    }
    return present;
}

QString portMapPath()
{
    // What AppConfigLocation gives the program alarmcfg, spelled out so that
    // every program of the tool (and every test binary) shares the one map.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/alarmcfg/ports.json");
}

LoadedMap loadPortMap(const QString &path)
{
    LoadedMap loaded;
    // Only a regular file is read: a FIFO in its place would hang every program of the tool.
    const filekind::Contents file = filekind::readRegular(path, kMaxPortMapBytes);
    if (file.missing)
        return loaded;
    loaded.usable = false;
    if (!file.bytes) {
        loaded.problem = file.notAFile ? QStringLiteral("it is %1, not a regular file").arg(safefile::kindName(*file.notAFile))
                                       : file.systemText;
        return loaded;
    }
    const std::optional<PortMap> map = parsePortMap(*file.bytes, &loaded.problem);
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
    const LoadedMap loaded = loadPortMap(mapPath);
    if (!loaded.usable)
        table.notes << QStringLiteral("port map %1 ignored and left as it is: %2").arg(mapPath, loaded.problem);

    Resolved resolved = resolve(env, present, loaded.pins);
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
#ifdef Q_OS_WIN
    // Windows numbers its own COM ports.
    for (Resolution &r : resolved.com) {
        if (r.rule == Rule::None) {
            r.rule = Rule::BuiltIn;
            r.device = *typedPortDevice(QStringLiteral("COM%1").arg(r.com), Platform::Windows);
        }
    }
#endif
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

} // namespace ports
