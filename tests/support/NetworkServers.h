#pragma once
// Servers a test puts between the tool and alarmcfg-sim, on 127.0.0.1 only,
// each ended when it goes out of scope: ser2net in front of the simulator's
// pseudo-terminal, raw or with RFC 2217, and alarmcfg-fault-proxy in front of
// alarmcfg-sim --tcp, with one of the faults networks bring.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class SimProcess;

class Ser2net {
public:
    enum class Mode { Raw, Rfc2217 };
    // device: the simulator's pty; baud: the rate ser2net opens it with.
    Ser2net(const QString &device, Mode mode, int baud = 9600);
    ~Ser2net(); // SIGTERM and wait

    Ser2net(const Ser2net &) = delete;
    Ser2net &operator=(const Ser2net &) = delete;

    // Writes its configuration, starts it and waits until it listens; false
    // with *error set (ser2net missing: run scripts/setup).
    bool start(QString *error);
    // tcp://127.0.0.1:PORT or rfc2217://127.0.0.1:PORT.
    QString portName() const;
    // The configuration it runs with, for a message.
    QString configuration() const { return m_config; }

private:
    QString m_device;
    Mode m_mode;
    int m_baud;
    int m_port = 0;
    QString m_config;
    QTemporaryDir m_dir;
    QProcess m_process;
};

class FaultProxy {
public:
    // server: tcp://127.0.0.1:PORT; args: alarmcfg-fault-proxy's, "--fault", "split", ...
    FaultProxy(const QString &server, const QStringList &args);
    ~FaultProxy();

    FaultProxy(const FaultProxy &) = delete;
    FaultProxy &operator=(const FaultProxy &) = delete;

    bool start();
    QString portName() const { return m_portName; }
    // Whether the fault has happened.
    bool fired() const;

private:
    QString m_server;
    QStringList m_args;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_portName;
};

// A port on 127.0.0.1 whose connects go unanswered: it listens, but its
// queue is full and nobody takes a connection off it, so a new one's SYN
// is dropped, as a server behind a firewall that drops packets does.
class UnansweringPort {
public:
    UnansweringPort();
    ~UnansweringPort();
    UnansweringPort(const UnansweringPort &) = delete;
    UnansweringPort &operator=(const UnansweringPort &) = delete;
    int port() const { return m_port; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

// Whether a TCP port on 127.0.0.1 is listening, from /proc/net/tcp: asked
// without connecting, which a serial server would take for a client.
bool listening(int port);
// A TCP port on 127.0.0.1 that nothing listens on just now.
int freePort();

// The ways a test reaches the simulator: its pseudo-terminal; RTU over TCP
// from the simulator itself; ser2net in front of its pty, raw or with RFC
// 2217. ser2net opens the pty at 19200 baud: a raw port keeps that rate (a
// pty carries bytes at any), through RFC 2217 the tool sets it to 9600.
enum class SimPath { Pty, SimTcp, Ser2netRaw, Ser2netRfc2217 };
const char *pathName(SimPath path);
// What the simulator is started with for a path (--tcp 127.0.0.1:0 for SimTcp).
QStringList simArgsFor(SimPath path);
constexpr int kSer2netOpeningBaud = 19200;

// A started simulator, reached by a path.
class SimBehind {
public:
    SimBehind(SimPath path, SimProcess &sim) : m_path(path), m_sim(sim) {}
    // Starts the server in front of it, if the path has one.
    bool start(QString *error);
    // The port the tool opens.
    QString port() const;

private:
    SimPath m_path;
    SimProcess &m_sim;
    std::unique_ptr<Ser2net> m_ser2net;
};
