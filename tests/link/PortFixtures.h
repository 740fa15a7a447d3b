#pragma once
// Made-up serial ports, port maps and environments for the port resolver's tests.
#include "PortResolver.h"
#include "SystemPorts.h"

#include <QFile>
#include <QtTest>

using ports::PortMap;
using ports::SystemPort;

Q_DECLARE_METATYPE(QList<ports::SystemPort>)
Q_DECLARE_METATYPE(ports::PortMap)

namespace portfixtures {

inline SystemPort uart(int k, bool hardware)
{
    SystemPort p;
    p.name = QStringLiteral("ttyS%1").arg(k);
    p.device = QStringLiteral("/dev/") + p.name;
    p.kind = hardware ? SystemPort::Kind::BuiltInUart : SystemPort::Kind::PhantomUart;
    return p;
}

// A USB adapter as udev names it: by-id carries the serial number when there
// is one, by-path the USB socket.
inline SystemPort adapter(const QString &name, const QString &serial, int socket)
{
    SystemPort p;
    p.name = name;
    p.device = QStringLiteral("/dev/") + name;
    p.kind = SystemPort::Kind::UsbAdapter;
    p.serialNumber = serial;
    p.vendorId = serial.isEmpty() ? 0x1a86 : 0x0403;
    p.productId = serial.isEmpty() ? 0x7523 : 0x6001;
    p.description = serial.isEmpty() ? QStringLiteral("USB Serial") : QStringLiteral("FT232R USB UART");
    p.byId = serial.isEmpty() ? QStringLiteral("/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0")
                              : QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_%1-if00-port0").arg(serial);
    p.byPath = QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:%1:1.0-port0").arg(socket);
    return p;
}

inline SystemPort renamed(SystemPort p, const QString &name)
{
    p.name = name;
    p.device = QStringLiteral("/dev/") + name;
    return p;
}

inline SystemPort withoutLinks(SystemPort p)
{
    p.byId.clear();
    p.byPath.clear();
    return p;
}

inline ports::Pin pinOf(const SystemPort &p, bool byPath = false)
{
    return {byPath ? p.byPath : p.byId, p.usbId(), p.serialNumber};
}

inline ports::EnvLookup envOf(const QStringList &settings)
{
    return [settings](const QString &name) {
        for (const QString &s : settings)
            if (s.section(QLatin1Char('='), 0, 0) == name)
                return s.section(QLatin1Char('='), 1);
        return QString();
    };
}

// "assigned /dev/ttyUSB1" for each COM number, "none" where nothing is.
inline QStringList outcome(const std::array<ports::Resolution, kPortCount> &com)
{
    QStringList out;
    for (const ports::Resolution &r : com)
        out << (r.device.isEmpty() ? ports::ruleName(r.rule) : ports::ruleName(r.rule) + QLatin1Char(' ') + r.device);
    return out;
}

inline QStringList pinsOf(const PortMap &map)
{
    QStringList out;
    for (const auto &[com, pin] : map)
        out << QStringLiteral("COM%1=%2").arg(com).arg(pin.link);
    return out;
}

inline QStringList nothingFrom(int com)
{
    QStringList out;
    for (int n = com; n <= kLastPort; ++n)
        out << QStringLiteral("none");
    return out;
}

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

inline const SystemPort A = adapter(QStringLiteral("ttyUSB0"), QStringLiteral("A50285BI"), 1);
inline const SystemPort B = adapter(QStringLiteral("ttyUSB1"), QStringLiteral("B7731XQ2"), 2);
inline const SystemPort C = adapter(QStringLiteral("ttyUSB2"), QStringLiteral("C0000001"), 3);
inline const SystemPort N = adapter(QStringLiteral("ttyUSB0"), QString(), 4); // a CH340 without a serial number

} // namespace portfixtures

using namespace portfixtures;
