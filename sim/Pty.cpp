#include "Pty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {
QString sysError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

Pty::~Pty()
{
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    if (m_master >= 0)
        ::close(m_master);
}

bool Pty::open(QString *error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        *error = sysError("posix_openpt");
        return false;
    }
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        *error = sysError("grantpt/unlockpt");
        return false;
    }
    const char *name = ::ptsname(m_master);
    if (!name) {
        *error = sysError("ptsname");
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    m_slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveKeeper < 0) {
        *error = sysError("open pty slave");
        return false;
    }
    // A serial line carries bytes, not text: no echo, no line editing, no
    // CR/LF translation. The settings belong to the terminal, so the tool's
    // end starts out raw too.
    termios tio;
    if (::tcgetattr(m_slaveKeeper, &tio) != 0) {
        *error = sysError("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    if (::tcsetattr(m_slaveKeeper, TCSANOW, &tio) != 0) {
        *error = sysError("tcsetattr");
        return false;
    }

    // Replies are written without blocking: a tool that stopped reading must
    // not stall the simulator.
    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = sysError("fcntl O_NONBLOCK");
        return false;
    }
    return true;
}

} // namespace sim

namespace sim {

int Pty::slaveRate() const
{
    struct Rate {
        speed_t speed;
        int baud;
    };
    static constexpr Rate kRates[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},   {B9600, 9600},
                                      {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200},
                                      {B230400, 230400}};
    termios tio{};
    if (m_slaveKeeper < 0 || ::tcgetattr(m_slaveKeeper, &tio) != 0)
        return 0;
    for (const Rate &r : kRates)
        if (r.speed == ::cfgetospeed(&tio))
            return r.baud;
    return 0;
}

} // namespace sim
