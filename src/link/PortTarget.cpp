#include "SystemPorts.h"

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
    if (const std::optional<int> n = comNumber(given)) {
        const Resolution &r = table.com[*n - kFirstPort];
        return PortTarget{given.toUpper(), r.device, PortOpenFailure::Cause::NoDevice, describe(r)};
    }
    const std::optional<QString> device = typedDevice(given);
    return PortTarget{given, device.value_or(QString()),
                      given.isEmpty() ? PortOpenFailure::Cause::NoDevice : PortOpenFailure::Cause::NotADevice,
                      QStringLiteral("typed %1 -> %2").arg(given, device.value_or(QStringLiteral("no device name")))};
}

} // namespace ports
