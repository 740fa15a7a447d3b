// The serial line on Linux: a terminal device in raw mode, locked with flock
// and marked exclusive (TIOCEXCL) while open, read with poll, and left with
// the settings it had. The driver's error counts come from TIOCGICOUNT,
// which a pseudo-terminal does not have. Linux's own: who holds a lock comes from /proc/locks,
// who has the device open from /proc/<pid>/fd, and a pseudo-terminal is told
// by its device major.
#include "SerialLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t speedOf(int baud)
{
    struct Rate {
        int baud;
        speed_t speed;
    };
    static constexpr Rate kRates[] = {
        {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
        {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
        {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000},
    };
    for (const Rate &r : kRates)
        if (r.baud == baud)
            return r.speed;
    return B0;
}

// "alarmcfg-cli (pid 812)" for a process, from /proc.
QString programOf(const QString &pid)
{
    // The program's file name; comm would cut it at 15 characters.
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    QString name;
    if (cmdline.open(QIODevice::ReadOnly))
        name = QFileInfo(QFile::decodeName(cmdline.readAll().split('\0').value(0))).fileName();
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (name.isEmpty() && comm.open(QIODevice::ReadOnly))
        name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    return QStringLiteral("%1 (pid %2)").arg(name.isEmpty() ? QStringLiteral("a program") : name, pid);
}

// The process that holds an flock on the device, from /proc/locks.
QString lockHolder(const QString &device)
{
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return QString();
    // The inode of a device node lies on the file system that holds /dev.
    const QString id = QStringLiteral("%1:%2:%3")
                           .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(st.st_ino);
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray &line : locks.readAll().split('\n')) {
        // "1: FLOCK  ADVISORY  WRITE 4711 00:05:134 0 EOF"
        const QStringList f = QString::fromLatin1(line).simplified().split(u' ');
        if (f.size() >= 6 && f[1] == QLatin1String("FLOCK") && f[5].compare(id, Qt::CaseInsensitive) == 0)
            return programOf(f[4]);
    }
    return QString();
}

// Every process that has the device open, from /proc/<pid>/fd.
QStringList programsUsing(const QString &device)
{
    QStringList programs;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pid.toInt() <= 0)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        const QStringList entries = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        if (std::any_of(entries.begin(), entries.end(),
                        [&](const QString &fd) { return QFileInfo(fds.filePath(fd)).symLinkTarget() == device; }))
            programs << programOf(pid);
    }
    return programs;
}

// Unix98 pseudo-terminal slaves have majors 136..143.
bool isPseudoTerminal(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

class LinuxSerialLine : public SerialLine {
public:
    ~LinuxSerialLine() override { close(); }

    bool open(const QString &path, int baud, PortOpenFailure *failure) override
    {
        close();
        failure->device = path;
        auto fail = [failure](int error, const QString &text = QString()) {
            failure->cause = causeOf(error);
            failure->systemText = text.isEmpty() ? systemText(error) : text;
            return false;
        };
        const speed_t speed = speedOf(baud);
        if (speed == B0) {
            failure->cause = PortOpenFailure::Cause::Other;
            failure->systemText = QStringLiteral("%1 baud is not a rate this system sets").arg(baud);
            return false;
        }
        char *real = ::realpath(QFile::encodeName(path).constData(), nullptr);
        if (!real)
            return fail(errno);
        const QString device = QFile::decodeName(real);
        std::free(real);
        failure->device = device;

        // Non-blocking: an open never waits for a modem line, and nothing
        // here can hang on a device that does not answer.
        const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == EBUSY)
                return whoHolds(device, failure, false);
            return fail(error);
        }
        // The lock comes first: a port that another program holds is refused
        // before its line settings are touched.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return whoHolds(device, failure, true);
            return fail(error);
        }
        int exclusive = 0;
        if (::ioctl(fd, TIOCGEXCL, &exclusive) != 0) {
            const int error = errno;
            ::close(fd);
            return fail(error, error == ENOTTY ? QStringLiteral("not a serial line") : QString());
        }
        if (exclusive) {
            ::close(fd);
            return whoHolds(device, failure, false);
        }
        termios found{};
        if (::tcgetattr(fd, &found) != 0) {
            const int error = errno;
            ::close(fd);
            return fail(error);
        }
        termios tio = found;
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 || ::tcsetattr(fd, TCSANOW, &tio) != 0) {
            const int error = errno;
            ::close(fd);
            return fail(error);
        }
        // From here on the kernel refuses other opens of the line (root's
        // excepted, which the lock and the TIOCGEXCL check turn away instead).
        // Not on a pseudo-terminal: the program at its other end keeps it
        // open, so a mark would outlive this program if it were killed, and
        // lock everyone out of that line; the lock alone keeps other copies
        // of this tool away there.
        if (!isPseudoTerminal(fd))
            ::ioctl(fd, TIOCEXCL);
        ::tcflush(fd, TCIOFLUSH);
        m_fd = fd;
        m_device = device;
        m_found = found;
        m_countsAtOpen = driverCounts();
        return true;
    }

    bool canSetFormat() const override { return true; }

    bool setFormat(const LineFormat &format, QString *error) override
    {
        const speed_t speed = speedOf(format.baud);
        termios tio{};
        if (speed == B0) {
            *error = QStringLiteral("%1 baud is not a rate this system sets").arg(format.baud);
            return false;
        }
        if (::tcgetattr(m_fd, &tio) != 0) {
            *error = systemText(errno);
            return false;
        }
        tio.c_cflag &= ~(PARENB | PARODD);
        if (format.parity != Parity::None)
            tio.c_cflag |= PARENB | (format.parity == Parity::Odd ? PARODD : 0);
        if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 || ::tcsetattr(m_fd, TCSANOW, &tio) != 0) {
            *error = systemText(errno);
            return false;
        }
        ::tcflush(m_fd, TCIOFLUSH);
        return true;
    }

    std::optional<LineErrors> errorCounts() override
    {
        const std::optional<LineErrors> now = driverCounts();
        if (!now || !m_countsAtOpen)
            return std::nullopt;
        return now->since(*m_countsAtOpen);
    }

    void close() override
    {
        if (m_fd < 0)
            return;
        // The line goes back as it was found: another program that uses it
        // after us (a terminal, a logger) finds its own settings.
        ::tcsetattr(m_fd, TCSANOW, &m_found);
        // The mark belongs to the line, not to this descriptor: left set, it
        // would outlive us while any other program has the line open.
        if (!isPseudoTerminal(m_fd))
            ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd); // and with it the lock
        m_fd = -1;
        m_device.clear();
    }

    bool isOpen() const override { return m_fd >= 0; }
    QString openedDevice() const override { return m_device; }

    int discardInput() override
    {
        if (m_fd < 0)
            return 0;
        int waiting = 0;
        if (::ioctl(m_fd, FIONREAD, &waiting) != 0)
            waiting = 0;
        ::tcflush(m_fd, TCIFLUSH);
        return waiting;
    }

    bool send(const QByteArray &bytes, QString *error) override
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN) {
                pollfd p{m_fd, POLLOUT, 0};
                if (::poll(&p, 1, 1000) > 0)
                    continue;
            }
            *error = n < 0 ? systemText(errno) : QStringLiteral("the line took no bytes");
            return false;
        }
        return true;
    }

    QByteArray receive(int maxBytes, std::chrono::microseconds timeout, QString *error) override
    {
        pollfd p{m_fd, POLLIN, 0};
        const long long us = std::max<long long>(0, timeout.count());
        // Seconds apart: a timespec wants its nanoseconds below one second.
        const timespec wait{static_cast<time_t>(us / 1'000'000), static_cast<long>(us % 1'000'000) * 1000};
        const int ready = ::ppoll(&p, 1, &wait, nullptr);
        if (ready < 0) {
            if (errno != EINTR)
                *error = systemText(errno);
            return {};
        }
        if (ready == 0)
            return {};
        if (p.revents & (POLLERR | POLLNVAL)) {
            *error = QStringLiteral("the line failed");
            return {};
        }
        QByteArray bytes(maxBytes, Qt::Uninitialized);
        const ssize_t n = ::read(m_fd, bytes.data(), static_cast<size_t>(maxBytes));
        if (n > 0) {
            bytes.resize(n);
            return bytes;
        }
        if (n == 0 || (p.revents & POLLHUP)) {
            *error = QStringLiteral("the device went away");
            return {};
        }
        if (errno != EAGAIN && errno != EINTR)
            *error = systemText(errno);
        return {};
    }

private:
    // A device that another program holds: who holds it, where the system
    // tells. A lock means another copy of this tool (every copy takes one); a
    // mark without a lock is another program's, or was left by one that
    // ended while another program kept the line open.
    static bool whoHolds(const QString &device, PortOpenFailure *failure, bool lockRefused)
    {
        const QString locker = lockHolder(device);
        if (lockRefused || !locker.isEmpty()) {
            failure->cause = PortOpenFailure::Cause::LockedByAlarmcfg;
            failure->holders = locker.isEmpty() ? QStringList() : QStringList{locker};
            failure->systemText = QStringLiteral("locked (flock) by %1").arg(locker.isEmpty() ? QStringLiteral("another program") : locker);
            return false;
        }
        failure->cause = PortOpenFailure::Cause::MarkedExclusive;
        failure->holders = programsUsing(device);
        failure->systemText = QStringLiteral("marked for one program's use (TIOCEXCL)");
        return false;
    }

    // The driver's counts now; nothing when it keeps none.
    std::optional<LineErrors> driverCounts() const
    {
        serial_icounter_struct counts{};
        if (m_fd < 0 || ::ioctl(m_fd, TIOCGICOUNT, &counts) != 0)
            return std::nullopt;
        return LineErrors{static_cast<quint64>(counts.frame), static_cast<quint64>(counts.parity),
                          static_cast<quint64>(counts.brk)};
    }

    int m_fd = -1;
    QString m_device;
    termios m_found{}; // the settings the line had when it was opened
    std::optional<LineErrors> m_countsAtOpen;
};

} // namespace

std::unique_ptr<SerialLine> SerialLine::createSerial()
{
    return std::make_unique<LinuxSerialLine>();
}

OpenAdvice SerialLine::adviceFor(PortOpenFailure::Cause cause)
{
    return cause == PortOpenFailure::Cause::NoPermission ? OpenAdvice::JoinDialoutGroup : OpenAdvice::None;
}

QString SerialLine::systemText(long systemError)
{
    return QString::fromLocal8Bit(std::strerror(static_cast<int>(systemError)));
}

PortOpenFailure::Cause SerialLine::causeOf(long systemError)
{
    switch (systemError) {
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
        return PortOpenFailure::Cause::Busy;
    case ENOTTY:
        return PortOpenFailure::Cause::NotADevice;
    default:
        return PortOpenFailure::Cause::Other;
    }
}

