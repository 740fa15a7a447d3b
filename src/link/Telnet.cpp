#include "Telnet.h"

#include <initializer_list>

namespace telnet {

namespace {
QByteArray bytes(std::initializer_list<quint8> list)
{
    QByteArray out;
    for (const quint8 b : list)
        out += static_cast<char>(b);
    return out;
}
} // namespace

QByteArray escape(const QByteArray &data)
{
    QByteArray out;
    out.reserve(data.size());
    for (const char c : data) {
        out += c;
        if (static_cast<quint8>(c) == kIac)
            out += c;
    }
    return out;
}

QByteArray command(quint8 verb, quint8 option)
{
    return bytes({kIac, verb, option});
}

QByteArray subnegotiation(quint8 option, const QByteArray &payload)
{
    return bytes({kIac, kSb, option}) + escape(payload) + bytes({kIac, kSe});
}

std::vector<ComSetting> lineSettings(int baud, quint8 parity)
{
    const quint32 rate = static_cast<quint32>(baud);
    const QByteArray rateBytes = bytes({static_cast<quint8>(rate >> 24), static_cast<quint8>(rate >> 16),
                                        static_cast<quint8>(rate >> 8), static_cast<quint8>(rate)});
    return {{kSetBaudRate, rateBytes, "baud rate"},
            {kSetDataSize, QByteArray(1, 8), "data bits"},
            {kSetParity, QByteArray(1, static_cast<char>(parity)), "parity"},
            {kSetStopSize, QByteArray(1, static_cast<char>(kOneStopBit)), "stop bits"},
            {kSetControl, QByteArray(1, static_cast<char>(kNoFlowControl)), "flow control"}};
}

QString settingText(quint8 command, const QByteArray &value)
{
    const int v = value.size() == 1 ? static_cast<quint8>(value[0]) : -1;
    switch (command) {
    case kSetBaudRate:
        if (value.size() == 4) {
            quint32 rate = 0;
            for (const char c : value)
                rate = (rate << 8) | static_cast<quint8>(c);
            return QString::number(rate);
        }
        break;
    case kSetDataSize:
        if (v >= 0)
            return QString::number(v);
        break;
    case kSetParity: {
        const char *const names[] = {"unchanged", "none", "odd", "even", "mark", "space"};
        if (v >= 0 && v < 6)
            return QLatin1String(names[v]);
        break;
    }
    case kSetStopSize: {
        const char *const names[] = {"unchanged", "1", "2", "1.5"};
        if (v >= 0 && v < 4)
            return QLatin1String(names[v]);
        break;
    }
    case kSetControl: {
        const char *const names[] = {"unchanged", "no flow control", "XON/XOFF", "hardware flow control"};
        if (v >= 0 && v < 4)
            return QLatin1String(names[v]);
        break;
    }
    default: break;
    }
    return value.isEmpty() ? QStringLiteral("nothing") : QString::fromLatin1(value.toHex(' '));
}

QByteArray Session::opening() const
{
    return command(kWill, kBinary) + command(kDo, kBinary) + command(kWill, kSuppressGoAhead) + command(kDo, kSuppressGoAhead)
           + command(kWill, kComPortOption);
}

QByteArray Session::feed(const QByteArray &wire)
{
    QByteArray data;
    for (const char c : wire) {
        const quint8 b = static_cast<quint8>(c);
        switch (m_state) {
        case State::Data:
            if (b == kIac)
                m_state = State::Iac;
            else
                data += c;
            break;
        case State::Iac:
            if (b == kIac) {
                data += c;
                m_state = State::Data;
            } else if (b == kDo || b == kDont || b == kWill || b == kWont) {
                m_verb = b;
                m_state = State::Verb;
            } else if (b == kSb) {
                m_sub.clear();
                m_state = State::Sub;
            } else {
                m_state = State::Data; // NOP, go-ahead and the like: nothing for a serial line
            }
            break;
        case State::Verb:
            onVerb(m_verb, b);
            m_state = State::Data;
            break;
        case State::Sub:
            if (b == kIac)
                m_state = State::SubIac;
            else
                m_sub += c;
            break;
        case State::SubIac:
            if (b == kIac) {
                m_sub += c;
                m_state = State::Sub;
            } else {
                // IAC SE ends it; anything else ends a broken one just the same.
                onSubnegotiation(m_sub);
                m_state = State::Data;
            }
            break;
        }
    }
    return data;
}

void Session::onVerb(quint8 verb, quint8 option)
{
    // The server asks this side to do something, or says it stops asking.
    if (verb == kDo || verb == kDont) {
        const auto it = m_local.find(option);
        if (it == m_local.end()) {
            if (verb == kDo)
                m_answers += command(kWont, option); // nothing else is done here
            return;
        }
        if (verb == kDo) {
            if (it->second == Option::No)
                m_answers += command(kWill, option);
            it->second = Option::Yes;
        } else {
            if (it->second == Option::Yes)
                m_answers += command(kWont, option);
            it->second = Option::No;
        }
        return;
    }
    // The server offers to do something itself, or stops.
    const auto it = m_remote.find(option);
    if (it == m_remote.end()) {
        if (verb == kWill)
            m_answers += command(kDont, option); // an echo, say: a serial line echoes nothing
        return;
    }
    if (verb == kWill) {
        if (it->second == Option::No)
            m_answers += command(kDo, option);
        it->second = Option::Yes;
    } else {
        if (it->second == Option::Yes)
            m_answers += command(kDont, option);
        it->second = Option::No;
    }
}

void Session::onSubnegotiation(const QByteArray &payload)
{
    if (payload.size() < 2 || static_cast<quint8>(payload[0]) != kComPortOption)
        return;
    const quint8 code = static_cast<quint8>(payload[1]);
    // The server's answers to the settings; its notices of line and modem
    // state, and anything else, are dropped.
    if (code >= kServerOffset + kSetBaudRate && code <= kServerOffset + kSetControl)
        m_comAnswers[static_cast<quint8>(code - kServerOffset)] = payload.mid(2);
}

} // namespace telnet
