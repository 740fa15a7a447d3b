#pragma once
// A port behind a serial device server that speaks RFC 2217
// (rfc2217://HOST:PORT): a Telnet connection on which the tool sets the
// server's serial line to its own rate, 8N1, no flow control, and checks that
// the server agreed, before any frame goes out. Data bytes travel with 0xFF
// doubled. The Telnet rules are in Telnet.h.

#include "Telnet.h"
#include "TcpLine.h"

class Rfc2217Line : public TcpLine {
public:
    // For the option negotiation, and again for the settings' answers.
    static constexpr int kNegotiationTimeoutMs = 3000;

protected:
    bool handshake(PortOpenFailure *failure) override;
    QByteArray fromWire(const QByteArray &wire) override { return m_session.feed(wire); }
    QByteArray toWire(const QByteArray &data) override { return telnet::escape(data); }
    QByteArray takeAnswers() override { return m_session.takeAnswers(); }

private:
    // Reads until done() says so; false when the deadline passed or the
    // connection ended first. Data that comes meanwhile is kept for the link.
    template <typename Done>
    bool readUntil(const QDeadlineTimer &deadline, Done done, QByteArray *said);

    telnet::Session m_session;
};
