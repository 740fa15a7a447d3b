#include "PortClaim.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

PortOpenFailure::Cause PortClaim::causeOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return PortOpenFailure::Cause::NoDevice;
    case EACCES:
    case EPERM:
    case EROFS:
        return PortOpenFailure::Cause::NoPermission;
    case EBUSY:
    case EWOULDBLOCK:
        return PortOpenFailure::Cause::Busy;
    case ENOTTY:
        return PortOpenFailure::Cause::NotADevice;
    default:
        return PortOpenFailure::Cause::Other;
    }
}

bool PortClaim::claim(const QString &path, PortOpenFailure *failure)
{
    release();
    auto fail = [failure](int error, const QString &text) {
        failure->cause = causeOf(error);
        failure->systemText = text.isEmpty() ? systemText(error) : text;
        return false;
    };
    failure->device = path;
    char *real = ::realpath(QFile::encodeName(path).constData(), nullptr);
    if (!real)
        return fail(errno, QString());
    const QString device = QFile::decodeName(real);
    std::free(real);
    failure->device = device;

    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(errno, QString());
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(error, error == EWOULDBLOCK ? QStringLiteral("locked by another program (flock)") : QString());
    }
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(error, error == ENOTTY ? QStringLiteral("not a serial line") : QString());
    }
    if (exclusive) {
        ::close(fd);
        return fail(EBUSY, QStringLiteral("held exclusively by another program (TIOCEXCL)"));
    }
    m_fd = fd;
    m_device = device;
    return true;
}

void PortClaim::release()
{
    if (m_fd < 0)
        return;
    ::close(m_fd); // and with it the lock
    m_fd = -1;
    m_device.clear();
}

bool PortClaim::setExclusive(int fd, bool on)
{
    return fd >= 0 && ::ioctl(fd, on ? TIOCEXCL : TIOCNXCL) == 0;
}
