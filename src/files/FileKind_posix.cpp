// What a path names on POSIX systems: stat, and a non-blocking open for the
// read, so that a FIFO never waits for a writer.
#include "FileKind.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filekind {

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Kind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::Regular;
    if (S_ISDIR(mode))
        return Kind::Directory;
    if (S_ISCHR(mode))
        return Kind::CharacterDevice;
    if (S_ISBLK(mode))
        return Kind::BlockDevice;
    if (S_ISFIFO(mode))
        return Kind::Fifo;
    if (S_ISSOCK(mode))
        return Kind::Socket;
    return Kind::Unknown;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

// The descriptor of /dev/stdout, /dev/stderr, /dev/fd/N or /proc/self/fd/N
// when this program has it open; -1 for any other path.
int ownDescriptor(const QString &path)
{
    static const QRegularExpression named(QStringLiteral("^/(?:dev|proc/self)/fd/(\\d{1,9})$"));
    const QString clean = QDir::cleanPath(path);
    int fd = -1;
    if (clean == QLatin1String("/dev/stdout"))
        fd = STDOUT_FILENO;
    else if (clean == QLatin1String("/dev/stderr"))
        fd = STDERR_FILENO;
    else if (const QRegularExpressionMatch m = named.match(clean); m.hasMatch())
        fd = m.captured(1).toInt();
    return fd >= 0 && ::fcntl(fd, F_GETFD) != -1 ? fd : -1;
}

QString writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return systemText(errno);
        if (n == 0)
            return systemText(EIO);
        done += n;
    }
    return QString();
}

} // namespace

Look look(const QString &path)
{
    Look l;
    const QByteArray name = QFile::encodeName(path);
    l.descriptor = ownDescriptor(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) {
        if (errno != ENOENT) {
            l.kind = Kind::Unknown;
            l.systemText = systemText(errno);
        }
        return l;
    }
    if (S_ISLNK(st.st_mode)) {
        l.link = true;
        QByteArray target(4096, Qt::Uninitialized);
        const ssize_t n = ::readlink(name.constData(), target.data(), static_cast<size_t>(target.size()));
        if (n > 0)
            l.linkTarget = QFile::decodeName(target.left(n));
        if (::stat(name.constData(), &st) != 0) {
            if (errno != ENOENT) {
                l.kind = Kind::Unknown;
                l.systemText = systemText(errno);
            }
            return l;
        }
    }
    l.kind = kindOf(st.st_mode);
    char *real = ::realpath(name.constData(), nullptr);
    l.resolved = real ? QFile::decodeName(real) : path;
    std::free(real);
    return l;
}

Contents readRegular(const QString &path, qint64 maxBytes)
{
    Contents c;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    // The kind before the open: opening a FIFO waits for a writer.
    if (::stat(name.constData(), &st) != 0) {
        c.missing = errno == ENOENT;
        c.systemText = systemText(errno);
        return c;
    }
    if (!S_ISREG(st.st_mode)) {
        c.notAFile = kindOf(st.st_mode);
        return c;
    }
    // And non-blocking, should a FIFO have been put there since.
    Descriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        c.missing = errno == ENOENT;
        c.systemText = systemText(errno);
        return c;
    }
    if (::fstat(fd.get(), &st) != 0) {
        c.systemText = systemText(errno);
        return c;
    }
    if (!S_ISREG(st.st_mode)) {
        c.notAFile = kindOf(st.st_mode);
        return c;
    }
    QByteArray bytes;
    const qint64 limit = maxBytes + 1;
    char buffer[65536];
    while (bytes.size() < limit) {
        const size_t want = static_cast<size_t>(std::min<qint64>(sizeof buffer, limit - bytes.size()));
        const ssize_t n = ::read(fd.get(), buffer, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            c.systemText = systemText(errno);
            return c;
        }
        if (n == 0)
            break;
        bytes.append(buffer, n);
    }
    c.bytes = bytes;
    return c;
}

QString writeThrough(const Look &at, const QByteArray &bytes)
{
    if (at.descriptor >= 0)
        return writeAll(at.descriptor, bytes);
    // Opened without waiting (a terminal line without carrier would hold a
    // plain open), then written as any program writes a device.
    Descriptor fd(::open(QFile::encodeName(at.resolved).constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return systemText(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return systemText(errno);
    if (!S_ISCHR(st.st_mode))
        return systemText(ENODEV);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return systemText(errno);
    const QString failed = writeAll(fd.get(), bytes);
    if (!failed.isEmpty())
        return failed;
    // A device may tell a failed write only here.
    if (fd.release() != 0)
        return systemText(errno);
    return QString();
}

} // namespace filekind
