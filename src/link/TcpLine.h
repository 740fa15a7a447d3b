#pragma once
// A port behind a serial device server (tcp://HOST:PORT): the RTU frames go
// over a TCP connection as they are. Qt's socket is used without an event
// loop (its waitFor* calls), since the link runs on its caller's thread, the
// window's or a port thread of the command line. Rfc2217Line adds Telnet to
// it. No lock applies: the server decides who it serves.

#include "NetworkPort.h"
#include "SerialLine.h"

#include <QAbstractSocket>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <memory>

class QTcpSocket;

class TcpLine : public SerialLine {
public:
    // The name's look-up and the connect, together.
    static constexpr int kConnectTimeoutMs = 3000;
    // Each reply's time-out grows by the round trip, but by no more than this.
    static constexpr int kMaxRoundTripMs = 2000;
    static constexpr int kSendTimeoutMs = 3000;
    // A server that serves one client at a time ends a second connection
    // at once: one that ends within this time (and two round trips) of
    // being made was turned away.
    static constexpr int kBusyGraceMs = 10;
    // A connection that could not be made again is tried once more by a
    // later send only after this pause, so that the retries of one request
    // do not each wait for a connect.
    static constexpr int kRetryPauseMs = 2000;
    // A server that turns the connection made again away as busy may still
    // be letting go of the one that dropped: it is asked again for this long.
    static constexpr int kReleaseMs = 1000;
    static constexpr int kReleasePollMs = 100;

    TcpLine();
    ~TcpLine() override;

    bool open(const QString &device, int baud, PortOpenFailure *failure) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    QString openedDevice() const override;
    int discardInput() override;
    bool send(const QByteArray &bytes, QString *error) override;
    QByteArray receive(int maxBytes, std::chrono::microseconds timeout, QString *error) override;

    bool streamed() const override { return true; }
    std::chrono::microseconds roundTrip() const override { return m_roundTrip; }
    quint64 reconnections() const override { return m_reconnections; }
    QString peerAddress() const override { return m_peer; }

    // Why a connect failed, from the socket's error.
    static PortOpenFailure::Cause causeOf(QAbstractSocket::SocketError error);

protected:
    // After each connect, what this kind of line must settle with the server
    // before data flows. A plain TCP line only makes sure the server does
    // not turn it away at once. False with *failure set.
    virtual bool handshake(PortOpenFailure *failure);
    // The data among the bytes off the wire, and the bytes on the wire for data.
    virtual QByteArray fromWire(const QByteArray &wire) { return wire; }
    virtual QByteArray toWire(const QByteArray &data) { return data; }
    // What the protocol owes the server, sent before anything else.
    virtual QByteArray takeAnswers() { return QByteArray(); }

    // For handshake(): the bytes written whole before deadline; bytes off the
    // wire, the first within deadline (empty on time-out or when the
    // connection ended); whether the connection stands.
    bool writeWire(const QByteArray &wire, const QDeadlineTimer &deadline);
    QByteArray readWire(const QDeadlineTimer &deadline);
    bool connected() const;
    // Data that came during the handshake, for the link to find (and drop).
    void keepData(const QByteArray &data) { m_data += data; }
    // The server turned this connection away: what it said, if anything.
    void turnedAway(const QByteArray &said, PortOpenFailure *failure) const;
    const ports::NetworkPort &server() const { return m_port; }
    int baud() const { return m_baud; }
    // The rate a connection made again sets, after the line's format changed.
    void setBaud(int baud) { m_baud = baud; }

private:
    enum class Pulled { Data, Nothing, Dropped };
    bool connectOnce(PortOpenFailure *failure);
    // The connection dropped: counted, and made again once. *error says so
    // and whether it worked; the exchange in progress fails either way.
    void lost(QString *error);
    Pulled pull(const QDeadlineTimer &deadline);
    void sendAnswers();
    QString describe(const PortOpenFailure &failure) const;
    // The round trip of a connect's handshake; the longest measured counts.
    void noteRoundTrip(std::chrono::microseconds rtt);

    std::unique_ptr<QTcpSocket> m_socket;
    ports::NetworkPort m_port;
    QString m_device;
    int m_baud = 0;
    bool m_open = false;
    bool m_down = false;           // the connection dropped and could not be made again
    QString m_downBecause;
    QElapsedTimer m_lastAttempt;   // of a connect, while down
    QByteArray m_data;             // received and not yet taken
    std::chrono::microseconds m_roundTrip{0};
    quint64 m_reconnections = 0;
    QString m_peer;
};
