#include "PortNaming.h"

#include <QtGlobal>

std::optional<QString> portDevicePath(int port)
{
    if (port < kFirstPort || port > kLastPort)
        return std::nullopt;
#ifdef Q_OS_WIN
    return QStringLiteral("\\\\.\\COM%1").arg(port);
#else
    const QByteArray mapped = qgetenv(QStringLiteral("ALARMCFG_COM%1").arg(port).toLatin1().constData());
    if (!mapped.isEmpty())
        return QString::fromLocal8Bit(mapped);
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}
