#pragma once
// The Telnet protocol as an RFC 2217 client needs it, without sockets: the
// data bytes escaped and unescaped (0xFF goes as IAC IAC), the option
// negotiation (binary both ways, no go-ahead, and COM-PORT-OPTION), and the
// com-port commands that set the server's serial line and its answers.
// Rfc2217Line puts it on a TCP connection; the pieces are tested apart.

#include <QByteArray>
#include <QString>

#include <map>
#include <utility>
#include <vector>

namespace telnet {

constexpr quint8 kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr quint8 kBinary = 0, kEcho = 1, kSuppressGoAhead = 3, kComPortOption = 44;

// RFC 2217's client commands; the server answers each with it plus 100.
constexpr quint8 kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kSetControl = 5;
constexpr quint8 kServerOffset = 100;
constexpr quint8 kParityNone = 1, kParityOdd = 2, kParityEven = 3, kOneStopBit = 1, kNoFlowControl = 1;

// Data as it goes on the wire: every 0xFF doubled.
QByteArray escape(const QByteArray &data);
// IAC verb option.
QByteArray command(quint8 verb, quint8 option);
// IAC SB option payload IAC SE, the payload escaped.
QByteArray subnegotiation(quint8 option, const QByteArray &payload);

// One setting of the server's serial line, as asked and as it must come back.
struct ComSetting {
    quint8 command;
    QByteArray value;
    const char *name; // for messages: "baud rate"
};
// A rate and 8N1 with no flow control; or 8E1, 8O1 with the parity given
// (kParityEven, kParityOdd).
std::vector<ComSetting> lineSettings(int baud, quint8 parity = kParityNone);
// A setting's value as words: "9600", "8", "none", "1", "no flow control"; a raw value for one the tool never asks.
QString settingText(quint8 command, const QByteArray &value);

// Takes bytes off the wire in pieces of any size: the data in them, and the
// answers the client owes the server, which the caller sends.
class Session {
public:
    // What the client asks for when it connects.
    QByteArray opening() const;
    // The data bytes among wire, in order; commands and sub-negotiations are
    // taken apart, whether or not they are cut between two pieces.
    QByteArray feed(const QByteArray &wire);
    // Answers to the server's requests since last taken, ready to send.
    QByteArray takeAnswers() { return std::exchange(m_answers, QByteArray()); }

    bool comPortAgreed() const { return m_local.at(kComPortOption) == Option::Yes; }
    bool comPortRefused() const { return m_local.at(kComPortOption) == Option::No; }
    // Binary both ways, which a Modbus frame needs: in NVT mode a CR NUL
    // pair could lose its NUL.
    bool binaryAgreed() const { return m_local.at(kBinary) == Option::Yes && m_remote.at(kBinary) == Option::Yes; }
    bool binaryRefused() const { return m_local.at(kBinary) == Option::No || m_remote.at(kBinary) == Option::No; }
    // The server's answers to com-port commands, by the command they answer.
    const std::map<quint8, QByteArray> &comAnswers() const { return m_comAnswers; }
    // Before the settings are asked again: only the new answers count.
    void forgetComAnswers() { m_comAnswers.clear(); }

private:
    enum class Option { No, Asked, Yes };
    enum class State { Data, Iac, Verb, Sub, SubIac };
    void onVerb(quint8 verb, quint8 option);
    void onSubnegotiation(const QByteArray &payload);

    // What this side does (WILL) and what the server does (DO), by option.
    std::map<quint8, Option> m_local{{kBinary, Option::Asked}, {kSuppressGoAhead, Option::Asked}, {kComPortOption, Option::Asked}};
    std::map<quint8, Option> m_remote{{kBinary, Option::Asked}, {kSuppressGoAhead, Option::Asked}};
    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
    QByteArray m_answers;
    std::map<quint8, QByteArray> m_comAnswers;
};

} // namespace telnet
