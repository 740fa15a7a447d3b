#include "FakeLink.h"

#include "FactoryDefaults.h"
#include "RegisterText.h"
#include "SystemPorts.h"

FakeLink::FakeLink() : image(factory::registerImage()) {}

bool FakeLink::OpenPort()
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
    if (!m_open || silent || failStarts.contains(call.start) || answerOnly == 0 || failsThisTime) {
        setLastError(QStringLiteral("no reply"));
        return false;
    }
    if (answerOnly > 0)
        --answerOnly;
    return true;
}

bool FakeLink::readBlock(quint8, int start, int count, QVector<quint16> &values)
{
    if (!answers(Call(Call::Read, start, count)))
        return false;
    values = QVector<quint16>(image.begin() + start, image.begin() + start + count);
    return true;
}

bool FakeLink::writeSingle(quint8, int address, quint16 value)
{
    if (!answers(Call(Call::WriteSingle, address, 1, {value})))
        return false;
    image[address] = value;
    return true;
}

bool FakeLink::writeBlock(quint8, int start, const QVector<quint16> &values)
{
    if (!answers(Call(Call::WriteBlock, start, static_cast<int>(values.size()), values)))
        return false;
    for (int i = 0; i < values.size(); ++i)
        image[start + i] = values[i];
    return true;
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
