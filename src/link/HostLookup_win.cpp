// The name's look-up on Windows: GetAddrInfoW, with Winsock started for it.
#include "HostLookup.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace hostlookup {

Result resolve(const QString &host)
{
    Result r;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        r.failure = Result::Failure::Other;
        r.text = QStringLiteral("Winsock did not start");
        return r;
    }
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW *found = nullptr;
    const std::wstring name = host.toStdWString();
    const int error = GetAddrInfoW(name.c_str(), nullptr, &hints, &found);
    if (error != 0) {
        r.failure = error == WSAHOST_NOT_FOUND || error == WSANO_DATA ? Result::Failure::NotFound : Result::Failure::Other;
        r.text = QString::fromWCharArray(gai_strerrorW(error)).trimmed();
    } else {
        for (const ADDRINFOW *a = found; a; a = a->ai_next) {
            const QHostAddress address(a->ai_addr);
            if (!address.isNull() && !r.addresses.contains(address))
                r.addresses << address;
        }
        FreeAddrInfoW(found);
        if (r.addresses.isEmpty()) {
            r.failure = Result::Failure::NotFound;
            r.text = QStringLiteral("the name has no address");
        }
    }
    WSACleanup();
    return r;
}

} // namespace hostlookup
