// The serial ports of a Linux system: Qt's list (udev), sysfs and the
// /dev/serial links.
#include "SystemPorts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>

namespace ports {

namespace {

const QString kSysClassTty = QStringLiteral("/sys/class/tty");

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
        // A device node is made when its device appears: a USB adapter's when it is plugged in.
        p.appeared = QFileInfo(node).metadataChangeTime();
    }
    return present;
}

Platform thisPlatform()
{
    return Platform::Linux;
}

bool devicePresent(const QList<SystemPort> &present, const QString &device)
{
    return findPort(present, device).has_value() || QFileInfo::exists(device);
}

QString linkTarget(const QString &device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    return target == device ? QString() : target;
}

} // namespace ports
