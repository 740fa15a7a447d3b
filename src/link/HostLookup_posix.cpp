// The name's look-up on POSIX: getaddrinfo.
#include "HostLookup.h"

#include <netdb.h>
#include <sys/socket.h>

namespace hostlookup {

namespace {
bool nameUnknown(int error)
{
    if (error == EAI_NONAME)
        return true;
#ifdef EAI_NODATA // glibc's: the name is known but has no address
    if (error == EAI_NODATA)
        return true;
#endif
    return false;
}
} // namespace

Result resolve(const QString &host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int error = ::getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found);
    Result r;
    if (error != 0) {
        r.failure = nameUnknown(error) ? Result::Failure::NotFound : Result::Failure::Other;
        r.text = QString::fromLocal8Bit(::gai_strerror(error));
        return r;
    }
    for (const addrinfo *a = found; a; a = a->ai_next) {
        const QHostAddress address(a->ai_addr);
        if (!address.isNull() && !r.addresses.contains(address))
            r.addresses << address;
    }
    ::freeaddrinfo(found);
    if (r.addresses.isEmpty()) {
        r.failure = Result::Failure::NotFound;
        r.text = QStringLiteral("the name has no address");
    }
    return r;
}

} // namespace hostlookup
