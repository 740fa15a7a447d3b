#include "FakeLink.h"

#include "FactoryDefaults.h"
#include "RegisterText.h"
#include "ReplyFrame.h"
#include "SystemPorts.h"

FakeLink::FakeLink() : image(factory::registerImage()) {}

bool FakeLink::openDevice()
{
    Call call(Call::Open);
    call.port = target().name;
    call.device = target().device;
    calls.append(call);
    // Any COM entry opens; a typed name is no port of this fake.
    m_open = openSucceeds && !openFailure && ports::comNumber(call.port).has_value();
    setOpenFailure(m_open ? std::nullopt : openFailure);
    return m_open;
}

void FakeLink::ClosePort()
{
    calls.append(Call(Call::Close));
    m_open = false;
}

bool FakeLink::answers(const Call &call)
{
    calls.append(call);
    if (onRequest)
        onRequest(call);
    const bool failsThisTime = failTimes.value(call.start) > 0;
    if (failsThisTime)
        --failTimes[call.start];
    if (!m_open || silent || failStarts.contains(call.start) || answerOnly == 0 || failsThisTime)
        return false;
    if (answerOnly > 0)
        --answerOnly;
    return true;
}

LineAnswer FakeLink::transact(const LinkRequest &r, Waiting)
{
    static const Call::Kind kinds[] = {Call::Read, Call::WriteSingle, Call::WriteBlock};
    LineAnswer a;
    if (!answers(Call(kinds[static_cast<int>(r.function)], r.start, r.count, r.values))) {
        a.failure = m_open ? LinkFailure::Silent : LinkFailure::NotOpen;
        a.error = QStringLiteral("no reply");
        return a;
    }
    if (r.function == LinkRequest::Function::Read)
        a.values = QVector<quint16>(image.begin() + r.start, image.begin() + r.start + r.count);
    else
        std::copy(r.values.begin(), r.values.end(), image.begin() + r.start);
    return a;
}

RawExchange FakeLink::probeLine(const QByteArray &request, int)
{
    RawExchange x;
    x.sent = frame::withCrc(request);
    const int start = (static_cast<quint8>(request[2]) << 8) | static_cast<quint8>(request[3]);
    const int count = (static_cast<quint8>(request[4]) << 8) | static_cast<quint8>(request[5]);
    if (!answers(Call(Call::Read, start, count)) || request[0] != 1)
        return x;
    QByteArray reply = request.left(2) + QByteArray(1, static_cast<char>(2 * count));
    for (int a = start; a < start + count; ++a)
        reply += QByteArray(1, static_cast<char>(image[a] >> 8)) + QByteArray(1, static_cast<char>(image[a] & 0xFF));
    x.heard.push_back({1000, frame::withCrc(reply)}); // a millisecond after the request
    return x;
}

QVector<FakeLink::Call> FakeLink::callsOf(Call::Kind kind) const
{
    QVector<Call> out;
    for (const Call &c : calls)
        if (c.kind == kind)
            out.append(c);
    return out;
}

QStringList FakeLink::requestTrace() const
{
    QStringList out;
    for (const Call &c : calls) {
        switch (c.kind) {
        case Call::Read: out << QStringLiteral("R%1x%2").arg(c.start).arg(c.count); break;
        case Call::WriteBlock: out << QStringLiteral("W%1x%2").arg(c.start).arg(c.count); break;
        case Call::WriteSingle: out << QStringLiteral("S%1=%2").arg(c.start).arg(c.values.value(0)); break;
        case Call::Open: out << QStringLiteral("open%1").arg(ports::comNumber(c.port).value_or(0)); break;
        case Call::Close: out << QStringLiteral("close"); break;
        }
    }
    return out;
}

QString FakeLink::textAt(int start, int registers) const
{
    QVector<quint16> regs(image.begin() + start, image.begin() + start + registers);
    return regtext::decodeTextBlock(regs, registers);
}
