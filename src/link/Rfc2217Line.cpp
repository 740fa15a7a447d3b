#include "Rfc2217Line.h"

#include <algorithm>

template <typename Done>
bool Rfc2217Line::readUntil(const QDeadlineTimer &deadline, Done done, QByteArray *said)
{
    while (!done()) {
        if (!connected() || deadline.hasExpired())
            return false;
        const QByteArray data = m_session.feed(readWire(deadline));
        *said += data;
        keepData(data);
        const QByteArray answers = m_session.takeAnswers();
        if (!answers.isEmpty() && !writeWire(answers, deadline))
            return false;
    }
    return true;
}

bool Rfc2217Line::handshake(PortOpenFailure *failure)
{
    m_session = telnet::Session();
    QByteArray said; // a busy server's words come as data
    QDeadlineTimer deadline(kNegotiationTimeoutMs);
    auto notAgreed = [&](const QString &why) {
        if (!connected()) {
            turnedAway(said, failure);
        } else {
            failure->cause = PortOpenFailure::Cause::Other;
            failure->systemText = why;
        }
        return false;
    };
    const bool negotiated = writeWire(m_session.opening(), deadline) && readUntil(deadline, [&] {
        return (m_session.comPortAgreed() && m_session.binaryAgreed()) || m_session.comPortRefused() || m_session.binaryRefused();
    }, &said);
    if (!negotiated)
        return notAgreed(QStringLiteral("no Telnet answer within %1 s: is it a raw TCP port? Then name it tcp://%2")
                             .arg(kNegotiationTimeoutMs / 1000.0)
                             .arg(server().server()));
    if (m_session.comPortRefused())
        return notAgreed(QStringLiteral("the server refuses RFC 2217's COM-PORT-OPTION: it does not let the tool set its "
                                        "serial line; name it tcp://%1 if it is set to %2 8N1 itself")
                             .arg(server().server())
                             .arg(baud()));
    if (m_session.binaryRefused())
        return notAgreed(QStringLiteral("the server refuses Telnet's binary transmission, which Modbus frames need"));

    // The line's settings, each answered with what the server set.
    const QString refused = askSettings(telnet::lineSettings(baud(), m_parity), &said);
    if (!refused.isEmpty())
        return notAgreed(refused);
    return true;
}

QString Rfc2217Line::askSettings(const std::vector<telnet::ComSetting> &settings, QByteArray *said)
{
    m_session.forgetComAnswers();
    QByteArray asked;
    for (const telnet::ComSetting &s : settings)
        asked += telnet::subnegotiation(telnet::kComPortOption, QByteArray(1, static_cast<char>(s.command)) + s.value);
    const QDeadlineTimer deadline(kNegotiationTimeoutMs);
    const bool answered = writeWire(asked, deadline) && readUntil(deadline, [&] {
        return std::all_of(settings.begin(), settings.end(), [&](const telnet::ComSetting &s) {
            return m_session.comAnswers().count(s.command) > 0;
        });
    }, said);
    if (!answered)
        return QStringLiteral("the server did not answer the serial line's settings within %1 s")
            .arg(kNegotiationTimeoutMs / 1000.0);
    for (const telnet::ComSetting &s : settings) {
        const QByteArray &got = m_session.comAnswers().at(s.command);
        if (got != s.value)
            return QStringLiteral("the server did not agree to %1 %2 on its serial line: it answered %3")
                .arg(QLatin1String(s.name), telnet::settingText(s.command, s.value), telnet::settingText(s.command, got));
    }
    return QString();
}

bool Rfc2217Line::open(const QString &device, int baud, PortOpenFailure *failure)
{
    m_parity = telnet::kParityNone;
    return TcpLine::open(device, baud, failure);
}

bool Rfc2217Line::setFormat(const LineFormat &format, QString *error)
{
    const quint8 parity = format.parity == Parity::Even ? telnet::kParityEven
                          : format.parity == Parity::Odd ? telnet::kParityOdd
                                                         : telnet::kParityNone;
    if (!isOpen() || !connected()) {
        *error = QStringLiteral("not connected to %1").arg(server().server());
        return false;
    }
    QByteArray said;
    *error = askSettings(telnet::lineSettings(format.baud, parity), &said);
    if (!error->isEmpty())
        return false;
    // A connection made again sets the same.
    setBaud(format.baud);
    m_parity = parity;
    return true;
}
