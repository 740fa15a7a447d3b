#pragma once
// The simulator's end of the serial line: a pseudo-terminal whose slave side
// the tool opens as its serial port.

#include <QString>

namespace sim {

class Pty {
public:
    Pty() = default;
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool open(QString *error);
    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }
    // The rate the tool's side is set to now (its termios), in baud; 0 when unknown.
    int slaveRate() const;

private:
    int m_master = -1;
    // Held open for the simulator's whole life: while any slave fd is open the
    // master never sees a hangup (EIO, POLLHUP), so the tool may close and
    // reopen the port as often as it likes.
    int m_slaveKeeper = -1;
    QString m_slavePath;
};

} // namespace sim
