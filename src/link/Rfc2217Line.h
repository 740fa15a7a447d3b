#pragma once
// A port behind a serial device server that speaks RFC 2217
// (rfc2217://HOST:PORT): a Telnet connection on which the tool sets the
// server's serial line to its own rate, 8N1, no flow control, and checks that
// the server agreed, before any frame goes out; the line doctor sets other
// rates and parities the same way. Data bytes travel with 0xFF doubled. The
// Telnet rules are in Telnet.h.

#include "Telnet.h"
#include "TcpLine.h"

class Rfc2217Line : public TcpLine {
public:
    // For the option negotiation, and again for the settings' answers.
    static constexpr int kNegotiationTimeoutMs = 3000;

    bool open(const QString &device, int baud, PortOpenFailure *failure) override;
    bool canSetFormat() const override { return true; }
    bool setFormat(const LineFormat &format, QString *error) override;

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
    // Asks the server for the line's settings and checks each answer; the
    // reason when it did not agree.
    QString askSettings(const std::vector<telnet::ComSetting> &settings, QByteArray *said);

    telnet::Session m_session;
    quint8 m_parity = telnet::kParityNone;
};
