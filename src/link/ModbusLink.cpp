#include "ModbusLink.h"

#include "ModbusRtu.h"

bool ModbusLink::checkRange(int start, int count, int maxCount)
{
    if (count < 1 || count > maxCount) {
        setLastError(tr("register count %1 outside 1..%2").arg(count).arg(maxCount));
        return false;
    }
    if (start < 0 || start + count > 0x10000) {
        setLastError(tr("register address %1 outside 0..65535").arg(start));
        return false;
    }
    return true;
}

bool ModbusLink::exchange(const QString &request, int attempts, const std::function<bool()> &once, int *failures)
{
    for (int attempt = 1;; ++attempt) {
        if (once()) {
            setLastError(QString());
            return true;
        }
        if (failures)
            ++*failures;
        if (attempt >= attempts || !isOpen() || interrupted())
            return false;
        note("RETRY", tr("%1, attempt %2 of %3").arg(request).arg(attempt + 1).arg(attempts));
    }
}

bool ModbusLink::ReadRegisters(quint8 slave, int start, int count, Retry retry)
{
    if (!checkRange(start, count, rtu::kMaxReadCount))
        return false;
    QVector<quint16> values;
    if (!exchange(tr("read %1x%2").arg(start).arg(count), attemptsFor(retry),
                  [&] { return readBlock(slave, start, count, values); }))
        return false;
    emit ReplyReceived(start, values, count);
    return true;
}

bool ModbusLink::WriteRegister(quint8 slave, int address, quint16 value, Retry retry)
{
    const bool ok = checkRange(address, 1, 1)
                    && exchange(tr("write %1=%2").arg(address).arg(value), attemptsFor(retry),
                                [&] { return writeSingle(slave, address, value); });
    emit WriteDone();
    return ok;
}

bool ModbusLink::WriteRegisters(quint8 slave, int start, const QVector<quint16> &values, int count, Retry retry)
{
    if (!checkRange(start, count, rtu::kMaxWriteCount))
        return false;
    if (count > values.size()) {
        setLastError(tr("%1 registers to write but only %2 values").arg(count).arg(values.size()));
        return false;
    }
    const QVector<quint16> block = values.mid(0, count);
    return exchange(tr("write %1x%2").arg(start).arg(count), attemptsFor(retry),
                    [&] { return writeBlock(slave, start, block); });
}

std::optional<std::vector<ModbusLink::BlockValues>>
ModbusLink::ReadBlocks(const std::vector<regmap::Block> &blocks, const std::function<void(int, int)> &progress)
{
    const int attempts = attemptsFor(Retry::AsSet);
    std::vector<BlockValues> read;
    read.reserve(blocks.size());
    // A reply names no address: after a failure, the reply to a request that
    // timed out may still come and be taken for the next one's. From the
    // first failure on, no block is believed until a second read agrees.
    std::optional<size_t> unsureFrom;
    for (const regmap::Block &b : blocks) {
        if (!checkRange(b.start, b.count, rtu::kMaxReadCount))
            return std::nullopt;
        BlockValues block{b.start, {}};
        int failures = 0;
        const bool ok = exchange(tr("read %1x%2").arg(b.start).arg(b.count), attempts,
                                 [&] { return readBlock(regmap::kSlave, b.start, b.count, block.values); }, &failures);
        if (failures > 0 && !unsureFrom)
            unsureFrom = read.size();
        if (!ok)
            return std::nullopt;
        read.push_back(std::move(block));
        if (progress)
            progress(static_cast<int>(read.size()), static_cast<int>(blocks.size()));
    }
    if (unsureFrom) {
        // The replies still on their way go before the first check, and the
        // blocks are checked last to first: a run of replies shifted by one
        // in the first pass cannot be repeated the same way.
        distrustLine();
        for (size_t i = read.size(); i-- > *unsureFrom;)
            if (!confirmBlock(read[i], blocks[i].count))
                return std::nullopt;
    }
    setLastError(QString());
    return read;
}

// Reads the block again until two reads in a row agree, within the attempts
// of one exchange. The link syncs its line before each read that follows a
// failure, so these reads are made on a quiet line, and a read counts only
// when nothing followed its reply: then the reply was its own.
bool ModbusLink::confirmBlock(BlockValues &block, int count)
{
    const QString request = tr("read %1x%2").arg(block.start).arg(count);
    const int attempts = attemptsFor(Retry::AsSet);
    QVector<quint16> previous = block.values;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (interrupted())
            break;
        QVector<quint16> again;
        if (!readBlock(regmap::kSlave, block.start, count, again)) {
            note("CONFIRM", tr("%1: no answer (%2), attempt %3 of %4").arg(request, lastError()).arg(attempt).arg(attempts));
            continue;
        }
        if (!nothingFollowed()) {
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
        note("CONFIRM", tr("%1: differs from the read before, reading again (attempt %2 of %3)")
                            .arg(request)
                            .arg(attempt)
                            .arg(attempts));
        previous = again;
    }
    setLastError(tr("%1 never came back the same twice: the replies on the line cannot be trusted").arg(request));
    note("CONFIRM", lastError());
    return false;
}
