#include "TcpLine.h"

#include "HostLookup.h"

#include <QTcpSocket>
#include <QThread>

#include <algorithm>

using std::chrono::microseconds;
using std::chrono::milliseconds;

namespace {

// Whole milliseconds left, rounded up: a wait of 0.3 ms still looks once.
int msLeft(const QDeadlineTimer &deadline)
{
    const qint64 ns = deadline.remainingTimeNSecs();
    return ns <= 0 ? 0 : static_cast<int>((ns + 999'999) / 1'000'000);
}

// What a server said when it turned the connection away, fit for one line.
QString saidText(const QByteArray &said)
{
    QString text;
    for (const char c : said.left(120))
        text += c >= 0x20 && c < 0x7F ? QChar(c) : QChar(u' ');
    return text.simplified();
}

} // namespace

TcpLine::TcpLine() = default;

TcpLine::~TcpLine()
{
    close();
}

PortOpenFailure::Cause TcpLine::causeOf(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError: return PortOpenFailure::Cause::NoSuchHost;
    case QAbstractSocket::ConnectionRefusedError: return PortOpenFailure::Cause::Refused;
    case QAbstractSocket::NetworkError: return PortOpenFailure::Cause::Unreachable; // no route, network down
    case QAbstractSocket::SocketTimeoutError: return PortOpenFailure::Cause::TimedOut;
    case QAbstractSocket::RemoteHostClosedError: return PortOpenFailure::Cause::ServerBusy;
    case QAbstractSocket::SocketAccessError: return PortOpenFailure::Cause::NoPermission;
    default: return PortOpenFailure::Cause::Other;
    }
}

bool TcpLine::open(const QString &device, int baud, PortOpenFailure *failure)
{
    close();
    const std::optional<ports::NetworkPort> port = ports::parseNetworkPort(device, &failure->systemText);
    if (!port) {
        failure->cause = PortOpenFailure::Cause::NotADevice;
        return false;
    }
    m_port = *port;
    m_device = device;
    m_baud = baud;
    m_roundTrip = microseconds::zero();
    m_reconnections = 0;
    m_down = false;
    failure->device = m_port.server();
    if (!connectOnce(failure))
        return false;
    m_open = true;
    return true;
}

void TcpLine::close()
{
    if (m_socket)
        m_socket->abort();
    m_socket.reset();
    m_data.clear();
    m_open = false;
    m_peer.clear();
}

QString TcpLine::openedDevice() const
{
    return QStringLiteral("%1 (connected to %2)").arg(m_device, m_peer);
}

bool TcpLine::connectOnce(PortOpenFailure *failure)
{
    m_socket.reset();
    m_data.clear();
    const QDeadlineTimer deadline(kConnectTimeoutMs);
    const hostlookup::Result found = hostlookup::lookUp(m_port.host, milliseconds(kConnectTimeoutMs));
    if (found.failure != hostlookup::Result::Failure::None) {
        failure->cause = found.failure == hostlookup::Result::Failure::NotFound ? PortOpenFailure::Cause::NoSuchHost
                         : found.failure == hostlookup::Result::Failure::TimedOut ? PortOpenFailure::Cause::TimedOut
                                                                                  : PortOpenFailure::Cause::Other;
        failure->systemText = found.text;
        return false;
    }
    // Each address the name has, in the system's order, while time is left.
    for (const QHostAddress &address : found.addresses) {
        auto socket = std::make_unique<QTcpSocket>();
        QElapsedTimer took;
        took.start();
        socket->connectToHost(address, m_port.port);
        if (socket->waitForConnected(std::max(1, msLeft(deadline)))) {
            // The handshake of a connect takes one round trip.
            noteRoundTrip(microseconds(took.nsecsElapsed() / 1000));
            m_socket = std::move(socket);
            break;
        }
        failure->cause = causeOf(socket->error());
        failure->systemText = socket->error() == QAbstractSocket::SocketTimeoutError
                                  ? QStringLiteral("no answer within %1 s").arg(kConnectTimeoutMs / 1000.0)
                                  : socket->errorString();
        socket->abort();
        if (deadline.hasExpired())
            break;
    }
    if (!m_socket)
        return false;
    // A request goes out at once, not held back to be joined with the next.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_peer = QStringLiteral("%1:%2").arg(m_socket->peerAddress().protocol() == QAbstractSocket::IPv6Protocol
                                             ? QStringLiteral("[%1]").arg(m_socket->peerAddress().toString())
                                             : m_socket->peerAddress().toString())
                 .arg(m_socket->peerPort());
    if (!handshake(failure)) {
        m_socket->abort();
        m_socket.reset();
        return false;
    }
    return true;
}

void TcpLine::noteRoundTrip(microseconds rtt)
{
    m_roundTrip = std::min<microseconds>(std::max(m_roundTrip, rtt), milliseconds(kMaxRoundTripMs));
}

bool TcpLine::handshake(PortOpenFailure *failure)
{
    // Nothing to settle, only whether the server keeps the connection: a
    // busy one ends it at once, often with a word of why.
    const QDeadlineTimer grace(kBusyGraceMs + 2 * std::chrono::duration_cast<milliseconds>(m_roundTrip).count());
    QByteArray came;
    while (!grace.hasExpired() && connected())
        came += readWire(grace);
    came += m_socket->readAll();
    if (connected()) {
        keepData(came);
        return true;
    }
    turnedAway(came, failure);
    return false;
}

void TcpLine::turnedAway(const QByteArray &said, PortOpenFailure *failure) const
{
    failure->cause = PortOpenFailure::Cause::ServerBusy;
    const QString text = saidText(said);
    failure->systemText = text.isEmpty() ? QStringLiteral("the server ended the connection at once")
                                         : QStringLiteral("the server ended the connection at once, saying \"%1\"").arg(text);
}

bool TcpLine::connected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool TcpLine::writeWire(const QByteArray &wire, const QDeadlineTimer &deadline)
{
    if (!connected() || m_socket->write(wire) != wire.size())
        return false;
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(std::max(1, msLeft(deadline))) && (deadline.hasExpired() || !connected()))
            return false;
    }
    return true;
}

QByteArray TcpLine::readWire(const QDeadlineTimer &deadline)
{
    if (!m_socket)
        return QByteArray();
    if (m_socket->bytesAvailable() == 0 && connected())
        m_socket->waitForReadyRead(msLeft(deadline));
    return m_socket->readAll();
}

void TcpLine::sendAnswers()
{
    const QByteArray answers = takeAnswers();
    if (!answers.isEmpty())
        writeWire(answers, QDeadlineTimer(kSendTimeoutMs));
}

TcpLine::Pulled TcpLine::pull(const QDeadlineTimer &deadline)
{
    for (;;) {
        if (m_socket->bytesAvailable() > 0) {
            const QByteArray data = fromWire(m_socket->readAll());
            sendAnswers();
            if (!data.isEmpty()) {
                m_data += data;
                return Pulled::Data;
            }
            continue; // only Telnet: the data may follow
        }
        if (!connected())
            return Pulled::Dropped;
        if (!m_socket->waitForReadyRead(msLeft(deadline))) {
            if (!connected() && m_socket->bytesAvailable() == 0)
                return Pulled::Dropped;
            if (deadline.hasExpired())
                return Pulled::Nothing;
        }
    }
}

int TcpLine::discardInput()
{
    if (!m_open || !m_socket)
        return 0;
    int dropped = static_cast<int>(m_data.size());
    m_data.clear();
    while (connected() && pull(QDeadlineTimer(0)) == Pulled::Data) {
        dropped += static_cast<int>(m_data.size());
        m_data.clear();
    }
    return dropped;
}

bool TcpLine::send(const QByteArray &bytes, QString *error)
{
    if (!m_open) {
        *error = QStringLiteral("port not open");
        return false;
    }
    if (m_down) {
        // Tried once more after a pause; even then this request is not sent
        // on the new connection: the link first makes sure of the line.
        if (m_lastAttempt.elapsed() < kRetryPauseMs) {
            *error = QStringLiteral("not connected to %1: %2").arg(m_port.server(), m_downBecause);
            return false;
        }
        PortOpenFailure why;
        m_lastAttempt.start();
        if (!connectOnce(&why)) {
            m_downBecause = describe(why);
            *error = QStringLiteral("not connected to %1: %2").arg(m_port.server(), m_downBecause);
            return false;
        }
        m_down = false;
        ++m_reconnections;
        *error = QStringLiteral("the connection to %1 was made again; the request was not sent").arg(m_port.server());
        return false;
    }
    if (!connected()) {
        lost(error);
        return false;
    }
    sendAnswers();
    if (!writeWire(toWire(bytes), QDeadlineTimer(kSendTimeoutMs))) {
        if (!connected()) {
            lost(error);
            return false;
        }
        *error = QStringLiteral("%1 took no data for %2 s").arg(m_port.server()).arg(kSendTimeoutMs / 1000.0);
        return false;
    }
    return true;
}

QByteArray TcpLine::receive(int maxBytes, microseconds timeout, QString *error)
{
    if (!m_open || m_down) {
        *error = m_open ? QStringLiteral("not connected to %1: %2").arg(m_port.server(), m_downBecause)
                        : QStringLiteral("port not open");
        return QByteArray();
    }
    if (m_data.isEmpty()) {
        QDeadlineTimer deadline(Qt::PreciseTimer);
        deadline.setPreciseRemainingTime(0, std::max<qint64>(0, timeout.count()) * 1000, Qt::PreciseTimer);
        if (pull(deadline) == Pulled::Dropped) {
            lost(error);
            return QByteArray();
        }
    }
    const QByteArray out = m_data.left(maxBytes);
    m_data.remove(0, out.size());
    return out;
}

void TcpLine::lost(QString *error)
{
    ++m_reconnections;
    m_data.clear();
    PortOpenFailure why;
    // A server that serves one client at a time may not have let go of the
    // connection that dropped yet: busy, it is given a moment.
    const QDeadlineTimer release(kReleaseMs);
    bool made = connectOnce(&why);
    while (!made && why.cause == PortOpenFailure::Cause::ServerBusy && !release.hasExpired()) {
        QThread::msleep(kReleasePollMs);
        made = connectOnce(&why);
    }
    if (made) {
        *error = QStringLiteral("the connection to %1 dropped; it was made again").arg(m_port.server());
        return;
    }
    m_down = true;
    m_downBecause = describe(why);
    m_lastAttempt.start();
    *error = QStringLiteral("the connection to %1 dropped and could not be made again: %2").arg(m_port.server(), m_downBecause);
}

QString TcpLine::describe(const PortOpenFailure &failure) const
{
    switch (failure.cause) {
    case PortOpenFailure::Cause::ServerBusy: return QStringLiteral("busy: %1").arg(failure.systemText);
    default: return failure.systemText;
    }
}
