#include "NetworkPort.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace ports {

namespace {

struct Scheme {
    const char *name;
    NetworkPort::Kind kind;
};
constexpr Scheme kSchemes[] = {{"tcp", NetworkPort::Kind::Tcp}, {"rfc2217", NetworkPort::Kind::Rfc2217}};

std::optional<Scheme> schemeOf(const QString &text)
{
    for (const Scheme &s : kSchemes)
        if (text.startsWith(QLatin1String(s.name) + QLatin1String("://"), Qt::CaseInsensitive))
            return s;
    return std::nullopt;
}

// An address in the one form Qt writes it; an IPv4 address mapped into IPv6
// is the IPv4 address it carries.
QString addressText(const QHostAddress &a)
{
    bool v4 = false;
    const quint32 mapped = a.toIPv4Address(&v4);
    return v4 ? QHostAddress(mapped).toString() : a.toString();
}

} // namespace

QString NetworkPort::scheme() const
{
    for (const Scheme &s : kSchemes)
        if (s.kind == kind)
            return QLatin1String(s.name);
    return QString();
}

QString NetworkPort::server() const
{
    return (host.contains(u':') ? QStringLiteral("[%1]").arg(host) : host) + u':' + QString::number(port);
}

QString NetworkPort::canonical() const
{
    return scheme() + QStringLiteral("://") + server();
}

bool looksLikeNetworkPort(const QString &text)
{
    return schemeOf(text.trimmed()).has_value();
}

std::optional<NetworkPort> parseNetworkPort(const QString &text, QString *problem)
{
    auto fail = [problem](const QString &why) -> std::optional<NetworkPort> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    const QString t = text.trimmed();
    const std::optional<Scheme> scheme = schemeOf(t);
    if (!scheme)
        return fail(QStringLiteral("not tcp://HOST:PORT or rfc2217://HOST:PORT"));
    QString rest = t.mid(static_cast<qsizetype>(qstrlen(scheme->name)) + 3);
    if (rest.endsWith(u'/'))
        rest.chop(1);

    NetworkPort p;
    p.kind = scheme->kind;
    QString host, port;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return fail(QStringLiteral("no \"]\" after the IPv6 address"));
        host = rest.mid(1, close - 1);
        if (!rest.mid(close + 1).startsWith(u':'))
            return fail(QStringLiteral("no port number after the host: %1:PORT").arg(rest.left(close + 1)));
        port = rest.mid(close + 2);
        QHostAddress address;
        if (!address.setAddress(host) || address.protocol() != QAbstractSocket::IPv6Protocol)
            return fail(QStringLiteral("\"%1\" in brackets is no IPv6 address").arg(host));
        p.host = addressText(address);
    } else {
        const qsizetype colon = rest.lastIndexOf(u':');
        if (colon < 0)
            return fail(QStringLiteral("no port number after the host: %1:PORT").arg(rest.isEmpty() ? QStringLiteral("HOST") : rest));
        host = rest.left(colon);
        port = rest.mid(colon + 1);
        if (host.contains(u':'))
            return fail(QStringLiteral("an IPv6 address goes in brackets: %1://[%2]:%3").arg(QLatin1String(scheme->name), host, port));
        if (host.isEmpty())
            return fail(QStringLiteral("no host before the port number"));
        QHostAddress address;
        static const QRegularExpression dottedQuad(QStringLiteral(R"(^[0-9]+(\.[0-9]+){3}$)"));
        if (dottedQuad.match(host).hasMatch()) {
            if (!address.setAddress(host) || address.protocol() != QAbstractSocket::IPv4Protocol)
                return fail(QStringLiteral("\"%1\" is no IPv4 address").arg(host));
            p.host = addressText(address);
        } else {
            // A host name: letters, digits and hyphens, in labels between dots.
            static const QRegularExpression name(QStringLiteral(R"(^[A-Za-z0-9_]([A-Za-z0-9_-]*[A-Za-z0-9_])?(\.[A-Za-z0-9_]([A-Za-z0-9_-]*[A-Za-z0-9_])?)*\.?$)"));
            if (!name.match(host).hasMatch() || host.size() > 254)
                return fail(QStringLiteral("\"%1\" is no host name or address").arg(host));
            p.host = host.toLower();
            if (p.host.endsWith(u'.'))
                p.host.chop(1); // the root of the name, written or not
        }
    }
    static const QRegularExpression digits(QStringLiteral("^0*[0-9]{1,5}$"));
    if (port.isEmpty())
        return fail(QStringLiteral("no port number after the host"));
    const int number = port.toInt();
    if (!digits.match(port).hasMatch() || number < 1 || number > 65535)
        return fail(QStringLiteral("\"%1\" is no port number (1 to 65535)").arg(port));
    p.port = static_cast<quint16>(number);
    return p;
}

} // namespace ports
