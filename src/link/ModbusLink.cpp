#include "ModbusLink.h"

#include "ModbusRtu.h"

void ModbusLink::setFailure(LinkFailure failure, const QString &error, int refusalCode)
{
    m_lastFailure = failure;
    m_lastError = error;
    m_refusalCode = failure == LinkFailure::Refused ? refusalCode : 0;
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

bool ModbusLink::exchange(const QString &request, int attempts, const std::function<bool()> &once)
{
    for (int attempt = 1;; ++attempt) {
        if (once()) {
            setFailure(LinkFailure::None, QString());
            return true;
        }
        ++m_failedAttempts;
        if (attempt >= attempts || !isOpen() || interrupted())
            return false;
        note("RETRY", tr("%1, attempt %2 of %3").arg(request).arg(attempt + 1).arg(attempts));
    }
}

bool ModbusLink::ReadRegisters(quint8 slave, int start, int count, Retry retry)
{
    if (!checkRange(start, count, regmap::kMaxReadRegisters))
        return false;
    m_request = {false, start, count};
    QVector<quint16> values;
    if (!exchange(tr("read %1x%2").arg(start).arg(count), attemptsFor(retry),
                  [&] { return readBlock(slave, start, count, values); }))
        return false;
    emit ReplyReceived(start, values, count);
    return true;
}

bool ModbusLink::WriteRegister(quint8 slave, int address, quint16 value, Retry retry)
{
    m_request = {true, address, 1};
    const bool ok = checkRange(address, 1, 1)
                    && exchange(tr("write %1=%2").arg(address).arg(value), attemptsFor(retry),
                                [&] { return writeSingle(slave, address, value); });
    emit WriteDone();
    return ok;
}

bool ModbusLink::WriteRegisters(quint8 slave, int start, const QVector<quint16> &values, int count, Retry retry)
{
    if (!checkRange(start, count, regmap::kSlotRegisters))
        return false;
    if (count > values.size()) {
        setFailure(LinkFailure::Invalid, tr("%1 registers to write but only %2 values").arg(count).arg(values.size()));
        return false;
    }
    m_request = {true, start, count};
    const QVector<quint16> block = values.mid(0, count);
    return exchange(tr("write %1x%2").arg(start).arg(count), attemptsFor(retry),
                    [&] { return writeBlock(slave, start, block); });
}

std::optional<std::vector<ModbusLink::BlockValues>>
ModbusLink::ReadBlocks(const std::vector<regmap::Block> &blocks, const std::function<void(int, int)> &progress)
{
    for (const regmap::Block &b : blocks)
        if (!checkRange(b.start, b.count, regmap::kMaxReadRegisters))
            return std::nullopt;
    const int attempts = attemptsFor(Retry::AsSet);
    const quint64 departuresBefore = departuresSoFar();
    std::vector<BlockValues> read;
    read.reserve(blocks.size());
    for (const regmap::Block &b : blocks) {
        BlockValues block{b.start, {}};
        m_request = {false, b.start, b.count};
        if (!exchange(tr("read %1x%2").arg(b.start).arg(b.count), attempts,
                      [&] { return readBlock(regmap::kSlave, b.start, b.count, block.values); }))
            return std::nullopt;
        read.push_back(std::move(block));
        if (progress)
            progress(static_cast<int>(read.size()), static_cast<int>(blocks.size()));
    }
    // A reply names no request. One that came twice, late or from nowhere
    // shifts every reply after it onto the wrong request, and shows only as
    // a departure somewhere in the read, or as a frame still on its way after
    // the last reply, which the fence catches.
    if (departuresSoFar() == departuresBefore && fence()) {
        setFailure(LinkFailure::None, QString());
        return read;
    }
    note("CONFIRM", tr("the replies of this read departed from one to each request: every block is read again"));
    // The replies still on their way go before the first check, and the
    // blocks are checked last to first: a run of replies shifted by one in the
    // first pass cannot be repeated the same way.
    distrustLine();
    for (size_t i = read.size(); i-- > 0;)
        if (!confirmBlock(read[i], blocks[i].count))
            return std::nullopt;
    setFailure(LinkFailure::None, QString());
    return read;
}

// Reads the block again until two reads in a row agree, within the attempts
// of one exchange. The link syncs its line before each read that follows a
// failure, so these reads are made on a quiet line, and a read counts only
// when a fence behind it is answered first: then the reply was its own.
bool ModbusLink::confirmBlock(BlockValues &block, int count)
{
    const QString request = tr("read %1x%2").arg(block.start).arg(count);
    const int attempts = attemptsFor(Retry::AsSet);
    QVector<quint16> previous = block.values;
    LinkFailure why = LinkFailure::Unsure;
    QString detail;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (interrupted()) {
            setFailure(LinkFailure::Interrupted, tr("interrupted"));
            return false;
        }
        QVector<quint16> again;
        m_request = {false, block.start, count};
        if (!readBlock(regmap::kSlave, block.start, count, again)) {
            why = lastFailure();
            detail = lastError();
            note("CONFIRM", tr("%1: no answer (%2), attempt %3 of %4").arg(request, lastError()).arg(attempt).arg(attempts));
            if (why == LinkFailure::Interrupted || why == LinkFailure::NotOpen)
                return false;
            continue;
        }
        if (!fence()) {
            why = LinkFailure::Unsure;
            note("CONFIRM", tr("%1: another frame came behind the reply, which may not be this read's (attempt %2 of %3)")
                                .arg(request)
                                .arg(attempt)
                                .arg(attempts));
            continue;
        }
        if (again == previous) {
            note("CONFIRM", tr("%1: the same as before").arg(request));
            block.values = again;
            return true;
        }
        why = LinkFailure::Unsure;
        note("CONFIRM", tr("%1: differs from the read before, reading again (attempt %2 of %3)")
                            .arg(request)
                            .arg(attempt)
                            .arg(attempts));
        previous = again;
    }
    // A device that stopped answering, or refuses the read, says so; only
    // answers that never agreed are the line's doing.
    if (why == LinkFailure::Unsure)
        setFailure(why, tr("%1 never came back the same twice: the replies on the line cannot be trusted").arg(request));
    else
        setFailure(why, tr("%1 failed while confirming it: %2").arg(request, detail), refusalCode());
    note("CONFIRM", lastError());
    return false;
}

bool ModbusLink::writeOne(const BlockWrite &w)
{
    return w.single ? WriteRegister(regmap::kSlave, w.start, w.registers.value(0), Retry::AsSet)
                    : WriteRegisters(regmap::kSlave, w.start, w.registers, static_cast<int>(w.registers.size()), Retry::AsSet);
}

ModbusLink::WriteResult ModbusLink::WriteBlocks(const std::vector<BlockWrite> &writes, const std::function<bool(int)> &next)
{
    const quint64 departuresBefore = departuresSoFar();
    WriteResult result;
    for (const BlockWrite &w : writes) {
        if (!writeOne(w))
            return result;
        ++result.confirmed;
        if (next && !next(result.confirmed) && result.confirmed < static_cast<int>(writes.size())) {
            setFailure(LinkFailure::Interrupted, tr("interrupted"));
            return result;
        }
    }
    if (departuresSoFar() != departuresBefore) {
        note("CONFIRM", tr("the echoes of this write departed from one to each request: the written registers are read back"));
        int written = static_cast<int>(writes.size());
        if (!confirmWrites(writes, &written)) {
            result.confirmed = written;
            return result;
        }
    }
    result.ok = true;
    setFailure(LinkFailure::None, QString());
    return result;
}

bool ModbusLink::confirmWrites(const std::vector<BlockWrite> &writes, int *written)
{
    std::vector<regmap::Block> parts;
    for (const BlockWrite &w : writes)
        for (const regmap::Block &p : regmap::readParts(w.start, static_cast<int>(w.registers.size())))
            parts.push_back(p);
    const std::optional<std::vector<BlockValues>> read = ReadBlocks(parts);
    if (!read) {
        *written = 0;
        setFailure(lastFailure(), tr("the writes could not be read back: %1").arg(lastError()), refusalCode());
        return false;
    }
    std::map<int, quint16> device;
    for (const BlockValues &b : *read)
        for (int k = 0; k < b.values.size(); ++k)
            device[b.start + k] = b.values[k];
    for (size_t i = 0; i < writes.size(); ++i) {
        const BlockWrite &w = writes[i];
        for (int k = 0; k < w.registers.size(); ++k) {
            if (device[w.start + k] == w.registers[k])
                continue;
            *written = static_cast<int>(i);
            setFailure(LinkFailure::Unsure, tr("register %1 reads back 0x%2 after it was written with 0x%3")
                                                .arg(w.start + k)
                                                .arg(device[w.start + k], 4, 16, QLatin1Char('0'))
                                                .arg(w.registers[k], 4, 16, QLatin1Char('0')));
            return false;
        }
    }
    return true;
}
