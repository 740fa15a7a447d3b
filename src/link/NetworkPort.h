#pragma once
// A port behind a serial device server, named as the operator types it:
//   tcp://HOST:PORT      the RTU frames unchanged over a TCP stream, as a
//                        server in raw or transparent mode carries them;
//   rfc2217://HOST:PORT  a Telnet connection through which the tool sets the
//                        server's serial line (RFC 2217, COM-PORT-OPTION).
// HOST is a name, an IPv4 address, or an IPv6 address in brackets. Pure
// code: nothing is looked up or connected here.

#include <QString>

#include <optional>

namespace ports {

struct NetworkPort {
    enum class Kind { Tcp, Rfc2217 };
    Kind kind = Kind::Tcp;
    QString host; // a host name in lower case without a final dot, or an address as Qt writes it
    quint16 port = 0;

    // "127.0.0.1:4001", "[::1]:4001", "server.site:4001": the server, for messages.
    QString server() const;
    // The one spelling of every name of this port: "tcp://server.site:4001".
    QString canonical() const;
    // "tcp", "rfc2217".
    QString scheme() const;
};

// Whether text is meant as a network port: it starts with "tcp://" or
// "rfc2217://", in any case. Such text is never a serial device.
bool looksLikeNetworkPort(const QString &text);

// The port text names. Nothing for text that is not one, and *problem then
// says what is wrong with it ("no port number after the host", ...).
std::optional<NetworkPort> parseNetworkPort(const QString &text, QString *problem = nullptr);

} // namespace ports
