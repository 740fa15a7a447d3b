#include "TcpListener.h"

#include <QStringList>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace {
constexpr int kBacklog = 4;

QString sysError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

bool parseLoopback(const QString &hostPort, QString *host, int *port, QString *problem)
{
    QString h;
    QString p;
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(QLatin1String("]:"));
        if (close < 0) {
            *problem = QStringLiteral("--tcp wants HOST:PORT, an IPv6 address in brackets: [::1]:PORT");
            return false;
        }
        h = hostPort.mid(1, close - 1);
        p = hostPort.mid(close + 2);
    } else {
        const qsizetype colon = hostPort.lastIndexOf(u':');
        h = colon < 0 ? QString() : hostPort.left(colon);
        p = colon < 0 ? QString() : hostPort.mid(colon + 1);
    }
    bool ok = false;
    const int n = p.toInt(&ok);
    if (h.isEmpty() || !ok || n < 0 || n > 65535) {
        *problem = QStringLiteral("--tcp wants HOST:PORT (port 0 for any free one), not '%1'").arg(hostPort);
        return false;
    }
    if (h == QLatin1String("localhost"))
        h = QStringLiteral("127.0.0.1");
    in_addr v4{};
    in6_addr v6{};
    const QByteArray ascii = h.toLatin1();
    const bool loopback = (::inet_pton(AF_INET, ascii.constData(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127)
                          || (::inet_pton(AF_INET6, ascii.constData(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6));
    if (!loopback) {
        *problem = QStringLiteral("--tcp serves on a loopback address only (127.0.0.1, [::1], localhost), not '%1'").arg(h);
        return false;
    }
    *host = h;
    *port = n;
    return true;
}

TcpListener::~TcpListener()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TcpListener::listen(const QString &hostPort, QString *error)
{
    QString host;
    int port = 0;
    if (!parseLoopback(hostPort, &host, &port, error))
        return false;
    const bool v6 = host.contains(u':');
    m_fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0) {
        *error = sysError("socket");
        return false;
    }
    const int on = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (v6) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(&address);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET6, host.toLatin1().constData(), &a->sin6_addr);
        length = sizeof *a;
    } else {
        auto *a = reinterpret_cast<sockaddr_in *>(&address);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, host.toLatin1().constData(), &a->sin_addr);
        length = sizeof *a;
    }
    if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), length) != 0) {
        *error = sysError("bind");
        return false;
    }
    if (::listen(m_fd, kBacklog) != 0) {
        *error = sysError("listen");
        return false;
    }
    if (::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        *error = sysError("getsockname");
        return false;
    }
    const int bound = v6 ? ntohs(reinterpret_cast<sockaddr_in6 *>(&address)->sin6_port)
                         : ntohs(reinterpret_cast<sockaddr_in *>(&address)->sin_port);
    m_name = QStringLiteral("tcp://%1:%2").arg(v6 ? QStringLiteral("[%1]").arg(host) : host).arg(bound);
    return true;
}

} // namespace sim
