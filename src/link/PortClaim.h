#pragma once
// A serial device held by this program alone while the link uses it.

#include "ModbusLink.h"

#include <QString>

class PortClaim {
public:
    PortClaim() = default;
    ~PortClaim() { release(); }
    PortClaim(const PortClaim &) = delete;
    PortClaim &operator=(const PortClaim &) = delete;

    // Resolves symlinks, opens a descriptor of its own on the device, takes
    // flock(LOCK_EX | LOCK_NB) on it and refuses a device that another program
    // holds exclusively (TIOCGEXCL). None of this changes the line's settings.
    // On failure, *failure says why (its port is left as it was).
    bool claim(const QString &path, PortOpenFailure *failure);
    void release();
    bool held() const { return m_fd >= 0; }
    QString device() const { return m_device; } // the claimed device, symlinks resolved

    // TIOCEXCL on (or TIOCNXCL off) a descriptor of the line: while set, the
    // kernel refuses every further open of the line except root's.
    static bool setExclusive(int fd, bool on);
    static PortOpenFailure::Cause causeOf(int error);

private:
    int m_fd = -1;
    QString m_device;
};
