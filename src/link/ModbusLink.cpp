#include "ModbusLink.h"

#include "Defence.h"
#include "ReplyFrame.h"

QString LinkRequest::describe() const
{
    switch (function) {
    case Function::Read: return QStringLiteral("read %1x%2").arg(start).arg(count);
    case Function::WriteSingle: return QStringLiteral("write %1=%2").arg(start).arg(values.value(0));
    case Function::WriteBlock: return QStringLiteral("write %1x%2").arg(start).arg(count);
    }
    return QString();
}

QString LineFormat::text() const
{
    const char parityLetter = parity == Parity::Even ? 'E' : parity == Parity::Odd ? 'O' : 'N';
    return QStringLiteral("%1 8%2%3").arg(baud).arg(QLatin1Char(parityLetter)).arg(1);
}

ModbusLink::ModbusLink(QObject *parent) : QObject(parent), m_defence(std::make_unique<Defence>(*this)) {}

ModbusLink::~ModbusLink() = default;

void ModbusLink::setFailure(LinkFailure failure, const QString &error, int refusalCode)
{
    m_lastFailure = failure;
    m_lastError = error;
    m_refusalCode = failure == LinkFailure::Refused ? refusalCode : 0;
}

LineAnswer ModbusLink::receiveAgain(const LinkRequest &)
{
    LineAnswer a;
    a.failure = LinkFailure::Silent;
    a.error = tr("nothing more came");
    return a;
}

bool ModbusLink::OpenPort()
{
    setOpenFailure(std::nullopt);
    if (!openDevice())
        return false;
    m_defence->reset();
    setFailure(LinkFailure::None, QString());
    return true;
}

bool ModbusLink::checkRange(int start, int count, int maxCount)
{
    if (count < 1 || count > maxCount) {
        setFailure(LinkFailure::Invalid, tr("register count %1 outside 1..%2").arg(count).arg(maxCount));
        return false;
    }
    if (start < 0 || start + count > 0x10000) {
        setFailure(LinkFailure::Invalid, tr("register address %1 outside 0..65535").arg(start));
        return false;
    }
    return true;
}

bool ModbusLink::ReadRegisters(int start, int count, Retry retry)
{
    if (!checkRange(start, count, m_profile.maxReadCount))
        return false;
    const LineAnswer a = m_defence->exchange(LinkRequest::read(start, count), attemptsFor(retry));
    if (!a.ok())
        return false;
    emit ReplyReceived(start, a.values, count);
    return true;
}

bool ModbusLink::WriteRegister(int address, quint16 value, Retry retry)
{
    m_request = {true, address, 1}; // also when the address is refused
    const bool ok = checkRange(address, 1, 1)
                    && m_defence->exchange(LinkRequest::writeSingle(address, value), attemptsFor(retry)).ok();
    emit WriteDone();
    return ok;
}

bool ModbusLink::WriteRegisters(int start, const QVector<quint16> &values, int count, Retry retry)
{
    if (!checkRange(start, count, m_profile.maxWriteCount))
        return false;
    if (count > values.size()) {
        setFailure(LinkFailure::Invalid, tr("%1 registers to write but only %2 values").arg(count).arg(values.size()));
        return false;
    }
    return m_defence->exchange(LinkRequest::writeBlock(start, values.mid(0, count)), attemptsFor(retry)).ok();
}

std::optional<std::vector<ModbusLink::BlockValues>> ModbusLink::ReadBlocks(const std::vector<ReadBlock> &blocks,
                                                                           const std::function<void(int, int)> &progress)
{
    for (const ReadBlock &b : blocks)
        if (!checkRange(b.start, b.count, m_profile.maxReadCount))
            return std::nullopt;
    return m_defence->read(blocks, [&](int done, int total) {
        if (progress)
            progress(done, total);
    });
}

ModbusLink::WriteResult ModbusLink::WriteBlocks(const std::vector<BlockWrite> &writes, const std::function<bool(int)> &next)
{
    for (const BlockWrite &w : writes)
        if (!checkRange(w.start, static_cast<int>(w.registers.size()), w.single ? 1 : m_profile.maxWriteCount))
            return {};
    return m_defence->write(writes, [&](int confirmed) { return !next || next(confirmed); });
}

std::optional<std::vector<ModbusLink::RegisterMismatch>> ModbusLink::ReadBack(const std::vector<BlockWrite> &writes,
                                                                              const std::function<void(int, int)> &progress)
{
    std::vector<size_t> all;
    for (size_t i = 0; i < writes.size(); ++i)
        all.push_back(i);
    return m_defence->readBack(writes, all, progress);
}

quint64 ModbusLink::departures() const
{
    return m_defence->departures();
}

std::vector<HeardBytes> ModbusLink::Listen(int ms)
{
    return listenLine(ms);
}

RawExchange ModbusLink::ProbeRead(quint8 slave, int start, int count, int waitMs)
{
    m_request = {false, start, count};
    RawExchange x = probeLine(frame::readRequest(slave, start, count), waitMs);
    // Its reply, or a late one, may still be on its way.
    m_defence->outOfStep();
    return x;
}

bool ModbusLink::SetLineFormat(const LineFormat &format)
{
    const bool set = setLineFormat(format);
    m_defence->outOfStep();
    return set;
}

RawExchange ModbusLink::probeLine(const QByteArray &request, int waitMs)
{
    RawExchange x;
    x.sent = frame::withCrc(request);
    x.waitedUs = static_cast<qint64>(waitMs) * 1000;
    return x;
}
