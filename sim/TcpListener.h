#pragma once
// The simulator's end of a network line (--tcp): RTU over TCP on a loopback
// address, as a serial device server in raw mode carries it. One client at a
// time: a second is accepted and its connection ended at once, as a server
// that is busy does.

#include <QString>

namespace sim {

class TcpListener {
public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener &) = delete;
    TcpListener &operator=(const TcpListener &) = delete;

    // hostPort: "127.0.0.1:5020", "[::1]:0", "localhost:0"; port 0 takes a free one.
    bool listen(const QString &hostPort, QString *error);
    int fd() const { return m_fd; }
    // What the tool opens: "tcp://127.0.0.1:5020".
    QString portName() const { return m_name; }

private:
    int m_fd = -1;
    QString m_name;
};

// Whether hostPort names a loopback address and a port; *problem says why not.
bool parseLoopback(const QString &hostPort, QString *host, int *port, QString *problem);

} // namespace sim
