#include "NetworkServers.h"

#include "SimProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kStartMs = 5000;

// Children die with the test, whatever ends it.
void dieWithParent(QProcess &p)
{
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

void stop(QProcess &p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(kStartMs)) {
        p.kill();
        p.waitForFinished(kStartMs);
    }
}
} // namespace

UnansweringPort::UnansweringPort()
{
    constexpr int kFillers = 3;
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(m_listener, 0) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &length) != 0)
        return;
    m_port = ntohs(a.sin_port);
    for (int i = 0; i < kFillers; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a); // under way, or queued
        m_fillers.push_back(s);
    }
    QThread::msleep(100);
}

UnansweringPort::~UnansweringPort()
{
    for (const int s : m_fillers)
        ::close(s);
    if (m_listener >= 0)
        ::close(m_listener);
}

bool listening(int port)
{
    QFile tcp(QStringLiteral("/proc/net/tcp"));
    if (!tcp.open(QIODevice::ReadOnly))
        return false;
    // "  0: 0100007F:B79A 00000000:0000 0A ...": 127.0.0.1, the port in hex, 0A is LISTEN.
    const QByteArray local = QByteArray("0100007F:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : tcp.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 3 && f[1] == local && f[3] == "0A")
            return true;
    }
    return false;
}

int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

Ser2net::Ser2net(const QString &device, Mode mode, int baud) : m_device(device), m_mode(mode), m_baud(baud)
{
    // Its output is told only when it does not start: it complains of mDNS in a container.
    dieWithParent(m_process);
}

Ser2net::~Ser2net() { stop(m_process); }

QString Ser2net::portName() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_mode == Mode::Raw ? "tcp" : "rfc2217").arg(m_port);
}

bool Ser2net::start(QString *error)
{
    m_port = freePort();
    // The lines docs/network-ports.md gives, on the loopback address.
    m_config = QStringLiteral("%YAML 1.1\n---\n"
                              "connection: &alarmcfg\n"
                              "    accepter: %1tcp,127.0.0.1,%2\n"
                              "    connector: serialdev,%3,%4n81,local\n"
                              "    options:\n"
                              "      chardelay: false\n")
                   .arg(m_mode == Mode::Rfc2217 ? "telnet(rfc2217)," : "")
                   .arg(m_port)
                   .arg(m_device)
                   .arg(m_baud);
    const QString path = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_config.toUtf8()) != m_config.toUtf8().size()) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    file.close();
    // -n: in the foreground, ended by the test; -u: no UUCP lock on the pty.
    m_process.start(QStringLiteral("ser2net"), {"-n", "-u", "-c", path, "-P", m_dir.filePath("ser2net.pid")});
    if (!m_process.waitForStarted(kStartMs)) {
        *error = QStringLiteral("ser2net did not start (%1): install it with scripts/setup").arg(m_process.errorString());
        return false;
    }
    QDeadlineTimer deadline(kStartMs);
    while (!listening(m_port)) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            *error = QStringLiteral("ser2net does not listen on 127.0.0.1:%1 with\n%2%3")
                         .arg(m_port)
                         .arg(m_config, QString::fromLocal8Bit(m_process.readAllStandardError()));
            return false;
        }
        QThread::msleep(10);
    }
    return true;
}

FaultProxy::FaultProxy(const QString &server, const QStringList &args) : m_server(server), m_args(args)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    dieWithParent(m_process);
}

FaultProxy::~FaultProxy() { stop(m_process); }

bool FaultProxy::start()
{
    QString to = m_server;
    to.remove(QStringLiteral("tcp://"));
    m_process.start(QStringLiteral(ALARMCFG_FAULT_PROXY_PATH),
                    QStringList{"--to", to, "--fired", m_dir.filePath(QStringLiteral("fired"))} + m_args);
    QDeadlineTimer deadline(kStartMs);
    while (!m_process.canReadLine() && !deadline.hasExpired() && m_process.state() != QProcess::NotRunning)
        m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    m_portName = QString::fromLatin1(m_process.readLine()).trimmed();
    return m_portName.startsWith(QLatin1String("tcp://"));
}

bool FaultProxy::fired() const
{
    return QFile::exists(m_dir.filePath(QStringLiteral("fired")));
}

const char *pathName(SimPath path)
{
    switch (path) {
    case SimPath::Pty: return "pty";
    case SimPath::SimTcp: return "alarmcfg-sim --tcp";
    case SimPath::Ser2netRaw: return "ser2net raw";
    case SimPath::Ser2netRfc2217: return "ser2net RFC 2217";
    }
    return "";
}

QStringList simArgsFor(SimPath path)
{
    return path == SimPath::SimTcp ? QStringList{"--tcp", "127.0.0.1:0"} : QStringList{};
}

bool SimBehind::start(QString *error)
{
    if (m_path != SimPath::Ser2netRaw && m_path != SimPath::Ser2netRfc2217)
        return true;
    const bool rfc2217 = m_path == SimPath::Ser2netRfc2217;
    m_ser2net = std::make_unique<Ser2net>(m_sim.ptyPath(), rfc2217 ? Ser2net::Mode::Rfc2217 : Ser2net::Mode::Raw,
                                          kSer2netOpeningBaud);
    return m_ser2net->start(error);
}

QString SimBehind::port() const
{
    return m_ser2net ? m_ser2net->portName() : m_sim.ptyPath();
}
