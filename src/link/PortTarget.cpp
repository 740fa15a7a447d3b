#include "SystemPorts.h"

#include "NetworkPort.h"

#include <QRegularExpression>

namespace ports {

std::optional<int> comNumber(const QString &name)
{
    static const QRegularExpression com(QStringLiteral("^COM([1-7])$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(name.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toInt();
}

PortTarget targetOf(const PortTable &table, const QString &name)
{
    const QString given = name.trimmed();
    if (looksLikeNetworkPort(given)) {
        // Named as typed; the line opens the one spelling of the server.
        QString problem;
        const std::optional<NetworkPort> p = parseNetworkPort(given, &problem);
        return PortTarget{given, p ? p->canonical() : QString(), PortOpenFailure::Cause::NotADevice,
                          QStringLiteral("typed %1 -> %2").arg(given, p ? p->canonical() : problem)};
    }
    if (const std::optional<int> n = comNumber(given)) {
        const Resolution &r = table.com[*n - kFirstPort];
        return PortTarget{given.toUpper(), r.device, PortOpenFailure::Cause::NoDevice, describe(r)};
    }
    const std::optional<QString> device = typedDevice(given);
    return PortTarget{given, device.value_or(QString()),
                      given.isEmpty() ? PortOpenFailure::Cause::NoDevice : PortOpenFailure::Cause::NotADevice,
                      QStringLiteral("typed %1 -> %2").arg(given, device.value_or(QStringLiteral("no device name")))};
}

QString portKey(const QString &name)
{
    const QString given = name.trimmed();
    if (const std::optional<NetworkPort> p = parseNetworkPort(given))
        return p->canonical();
    if (comNumber(given))
        return given.toUpper();
    return given;
}

} // namespace ports
