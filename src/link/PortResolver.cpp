#include "PortResolver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace ports {

namespace {

// ttyUSB2 before ttyUSB10: the kernel name's letters, then its number.
bool naturallyBefore(const SystemPort &a, const SystemPort &b)
{
    static const QRegularExpression split(QStringLiteral("^(.*?)([0-9]*)$"));
    const QRegularExpressionMatch ma = split.match(a.name);
    const QRegularExpressionMatch mb = split.match(b.name);
    const QString pa = ma.captured(1), pb = mb.captured(1);
    if (pa != pb)
        return pa < pb;
    const qulonglong na = ma.captured(2).toULongLong(), nb = mb.captured(2).toULongLong();
    if (na != nb)
        return na < nb;
    return a.name < b.name;
}

// The link a pin names an adapter by. By-id carries the serial number, so it
// follows the adapter to any USB socket; without a serial number two adapters
// of one model share a by-id name, and only the socket (by-path) tells them apart.
QString stableLink(const SystemPort &p)
{
    if (!p.serialNumber.isEmpty() && !p.byId.isEmpty())
        return p.byId;
    if (!p.byPath.isEmpty())
        return p.byPath;
    return p.byId;
}

QString details(const SystemPort &p)
{
    QStringList parts;
    if (!p.description.isEmpty())
        parts << p.description;
    if (!p.manufacturer.isEmpty())
        parts << p.manufacturer;
    if (!p.serialNumber.isEmpty())
        parts << QStringLiteral("serial %1").arg(p.serialNumber);
    if (!p.usbId().isEmpty())
        parts << QStringLiteral("USB %1").arg(p.usbId());
    return parts.join(QStringLiteral(", "));
}

QString pinHint(const Pin &pin)
{
    QStringList parts;
    if (!pin.usbId.isEmpty())
        parts << QStringLiteral("USB %1").arg(pin.usbId);
    if (!pin.serialNumber.isEmpty())
        parts << QStringLiteral("serial %1").arg(pin.serialNumber);
    return parts.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(parts.join(QStringLiteral(", ")));
}

} // namespace

QString SystemPort::usbId() const
{
    if (!vendorId || !productId)
        return QString();
    return QStringLiteral("%1:%2").arg(*vendorId, 4, 16, QLatin1Char('0')).arg(*productId, 4, 16, QLatin1Char('0'));
}

QString environmentName(int com)
{
    return QStringLiteral("ALARMCFG_COM%1").arg(com);
}

std::optional<SystemPort> findPort(const QList<SystemPort> &present, const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    for (const SystemPort &p : present)
        if (p.device == path || p.byId == path || p.byPath == path)
            return p;
    return std::nullopt;
}

Resolved resolve(const EnvLookup &env, const QList<SystemPort> &present, const PortMap &saved, Platform platform)
{
    Resolved out;
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        Resolution &r = out.com[n - kFirstPort];
        r.com = n;
        const QString mapped = env ? env(environmentName(n)) : QString();
        if (!mapped.isEmpty()) {
            r.rule = Rule::Environment;
            r.device = mapped;
            r.port = findPort(present, mapped);
            continue;
        }
        if (platform == Platform::Windows) {
            // Present or not: an absent port fails to open with the system's own words.
            r.rule = Rule::System;
            r.device = *typedPortDevice(QStringLiteral("COM%1").arg(n), platform);
            r.port = findPort(present, r.device);
            continue;
        }
        if (const auto pin = saved.find(n); pin != saved.end()) {
            r.rule = Rule::Saved;
            r.pin = pin->second;
            r.port = findPort(present, pin->second.link);
            if (r.port)
                r.device = r.port->device;
            continue; // an unplugged adapter keeps its number
        }
        const QString uart = QStringLiteral("ttyS%1").arg(n - 1);
        for (const SystemPort &p : present) {
            if (p.name == uart && p.kind == SystemPort::Kind::BuiltInUart) {
                r.rule = Rule::BuiltIn;
                r.device = p.device;
                r.port = p;
            }
        }
    }

    // An adapter some COM number already reaches, or that has a pin of its
    // own (even one $ALARMCFG_COM<n> overrides), gets no second number.
    auto claimed = [&](const SystemPort &p) {
        for (const Resolution &r : out.com)
            if (r.port && r.port->device == p.device)
                return true;
        for (const auto &entry : saved)
            if (!entry.second.link.isEmpty() && (entry.second.link == p.byId || entry.second.link == p.byPath))
                return true;
        return false;
    };
    QList<SystemPort> newcomers;
    for (const SystemPort &p : present)
        if (platform == Platform::Linux && p.kind == SystemPort::Kind::UsbAdapter && !claimed(p))
            newcomers << p;
    std::sort(newcomers.begin(), newcomers.end(), naturallyBefore);

    for (const SystemPort &p : newcomers) {
        const auto free = std::find_if(out.com.begin(), out.com.end(), [](const Resolution &r) { return r.rule == Rule::None; });
        if (free == out.com.end())
            break; // every number taken: the adapter can still be typed
        free->device = p.device;
        free->port = p;
        const QString link = stableLink(p);
        if (link.isEmpty()) {
            free->rule = Rule::Unsaved;
            continue;
        }
        const Pin pin{link, p.usbId(), p.serialNumber};
        free->rule = Rule::Assigned;
        free->pin = pin;
        out.newPins[free->com] = pin;
    }
    return out;
}

std::optional<QString> typedPortDevice(const QString &text, Platform platform)
{
    const QString t = text.trimmed();
    if (platform == Platform::Windows) {
        static const QRegularExpression com(QStringLiteral(R"(^(?:\\\\\.\\)?COM([1-9][0-9]*)$)"),
                                            QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = com.match(t);
        if (!m.hasMatch())
            return std::nullopt;
        return QStringLiteral(R"(\\.\COM)") + m.captured(1);
    }
    if (t.startsWith(QLatin1Char('/')))
        return t;
    static const QRegularExpression kernelName(QStringLiteral("^(tty[A-Za-z]+[0-9]+|rfcomm[0-9]+)$"));
    if (kernelName.match(t).hasMatch())
        return QStringLiteral("/dev/") + t;
    return std::nullopt;
}

SystemPort windowsPort(const QString &portName, const QString &friendlyName, const QString &manufacturer,
                       const QString &hardwareId, const QString &instanceId)
{
    SystemPort p;
    p.name = portName.trimmed().toUpper();
    p.device = typedPortDevice(p.name, Platform::Windows).value_or(QStringLiteral(R"(\\.\)") + portName.trimmed());
    p.manufacturer = manufacturer.trimmed();
    // "USB-SERIAL CH340 (COM3)": the name in brackets says nothing new.
    QString description = friendlyName.trimmed();
    const QString suffix = QStringLiteral(" (%1)").arg(p.name);
    if (description.endsWith(suffix, Qt::CaseInsensitive))
        description.chop(suffix.size());
    p.description = description;

    static const QRegularExpression usbIds(QStringLiteral(R"(VID_([0-9A-F]{4})[&+]PID_([0-9A-F]{4}))"),
                                           QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatch ids = usbIds.match(instanceId);
    if (!ids.hasMatch())
        ids = usbIds.match(hardwareId);
    if (ids.hasMatch()) {
        p.vendorId = static_cast<quint16>(ids.captured(1).toUShort(nullptr, 16));
        p.productId = static_cast<quint16>(ids.captured(2).toUShort(nullptr, 16));
        p.kind = SystemPort::Kind::UsbAdapter;
    }
    // Windows makes up an instance ID with "&" in it for a device without a
    // serial number; FTDI's driver appends the port's letter to the serial.
    static const QRegularExpression usbSerial(QStringLiteral(R"(^USB\\VID_[0-9A-F]{4}&PID_[0-9A-F]{4}\\([^\\&]+)$)"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression ftdiSerial(QStringLiteral(R"(^FTDIBUS\\VID_[0-9A-F]{4}\+PID_[0-9A-F]{4}\+([^\\]+)[A-Z]\\)"),
                                               QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch m = usbSerial.match(instanceId); m.hasMatch())
        p.serialNumber = m.captured(1);
    else if (const QRegularExpressionMatch f = ftdiSerial.match(instanceId); f.hasMatch())
        p.serialNumber = f.captured(1);
    return p;
}

std::optional<PortMap> parsePortMap(const QByteArray &json, QString *problem)
{
    auto fail = [problem](const QString &why) -> std::optional<PortMap> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON (%1 at offset %2)").arg(error.errorString()).arg(error.offset));
    if (!doc.isObject())
        return fail(QStringLiteral("not a JSON object"));
    static const QRegularExpression key(QStringLiteral("^COM([1-7])$"));
    PortMap map;
    const QJsonObject top = doc.object();
    for (auto it = top.begin(); it != top.end(); ++it) {
        const QRegularExpressionMatch m = key.match(it.key());
        if (!m.hasMatch())
            return fail(QStringLiteral("\"%1\" is not one of COM1..COM7").arg(it.key()));
        const QJsonObject entry = it.value().toObject();
        const QJsonValue link = entry.value(QStringLiteral("link"));
        if (!it.value().isObject() || !link.isString() || !link.toString().startsWith(QLatin1Char('/')))
            return fail(QStringLiteral("%1 has no \"link\" naming a device path").arg(it.key()));
        const QJsonValue usb = entry.value(QStringLiteral("usb"));
        const QJsonValue serial = entry.value(QStringLiteral("serial"));
        if (!(usb.isUndefined() || usb.isString()) || !(serial.isUndefined() || serial.isString()))
            return fail(QStringLiteral("%1: \"usb\" and \"serial\" must be text").arg(it.key()));
        map[m.captured(1).toInt()] = Pin{link.toString(), usb.toString(), serial.toString()};
    }
    return map;
}

QByteArray serializePortMap(const PortMap &map)
{
    QJsonObject top;
    for (const auto &[com, pin] : map) {
        QJsonObject entry{{QStringLiteral("link"), pin.link}};
        if (!pin.usbId.isEmpty())
            entry.insert(QStringLiteral("usb"), pin.usbId);
        if (!pin.serialNumber.isEmpty())
            entry.insert(QStringLiteral("serial"), pin.serialNumber);
        top.insert(QStringLiteral("COM%1").arg(com), entry);
    }
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}

QString ruleName(Rule rule)
{
    switch (rule) {
    case Rule::None: return QStringLiteral("none");
    case Rule::Environment: return QStringLiteral("environment");
    case Rule::Saved: return QStringLiteral("saved");
    case Rule::BuiltIn: return QStringLiteral("built-in");
    case Rule::Assigned: return QStringLiteral("assigned");
    case Rule::Unsaved: return QStringLiteral("unsaved");
    case Rule::System: return QStringLiteral("system");
    }
    return QString();
}

QString describe(const Resolution &r)
{
    QString why;
    switch (r.rule) {
    case Rule::None: why = QStringLiteral("no device"); break;
    case Rule::Environment: why = QStringLiteral("set by %1").arg(environmentName(r.com)); break;
    case Rule::Saved:
        why = QStringLiteral("saved pin %1").arg(r.pin ? r.pin->link : QString());
        if (!r.port)
            why += (r.pin ? pinHint(*r.pin) : QString()) + QStringLiteral(", not plugged in");
        break;
    case Rule::BuiltIn: why = QStringLiteral("built-in UART"); break;
    case Rule::Assigned: why = QStringLiteral("newly assigned, pinned as %1").arg(r.pin ? r.pin->link : QString()); break;
    case Rule::Unsaved: why = QStringLiteral("assigned for now, not saved"); break;
    case Rule::System:
        why = r.port ? QStringLiteral("Windows port") : QStringLiteral("Windows port, not present now");
        break;
    }
    if (r.port) {
        const QString more = details(*r.port);
        if (!more.isEmpty())
            why += QStringLiteral("; ") + more;
    }
    return QStringLiteral("COM%1 -> %2 (%3)").arg(r.com).arg(r.device.isEmpty() ? QStringLiteral("none") : r.device, why);
}

} // namespace ports
