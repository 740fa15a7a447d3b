#include "ModbusLink.h"

#include "RegisterMap.h"
#include "RegisterText.h"

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

bool ModbusLink::exchange(const QString &request, int attempts, const std::function<bool()> &once)
{
    for (int attempt = 1;; ++attempt) {
        if (once()) {
            setLastError(QString());
            return true;
        }
        if (attempt >= attempts || !isOpen())
            return false;
        retrying(request, attempt + 1, attempts);
    }
}

bool ModbusLink::ReadRegisters(quint8 slave, int start, int count, int attempts)
{
    if (!checkRange(start, count, regmap::kMaxReadCount))
        return false;
    QVector<quint16> values;
    if (!exchange(tr("read %1x%2").arg(start).arg(count), attempts,
                  [&] { return readBlock(slave, start, count, values); }))
        return false;
    emit ReplyReceived(start, values, count);
    return true;
}

bool ModbusLink::WriteRegister(quint8 slave, int address, quint16 value, int attempts)
{
    const bool ok = checkRange(address, 1, 1)
                    && exchange(tr("write %1=%2").arg(address).arg(value), attempts,
                                [&] { return writeSingle(slave, address, value); });
    emit WriteDone();
    return ok;
}

bool ModbusLink::WriteRegisters(quint8 slave, int start, const QVector<quint16> &values, int count, int attempts)
{
    if (!checkRange(start, count, regmap::kMaxWriteCount))
        return false;
    if (count > values.size()) {
        setLastError(tr("%1 registers to write but only %2 values").arg(count).arg(values.size()));
        return false;
    }
    const QVector<quint16> block = values.mid(0, count);
    return exchange(tr("write %1x%2").arg(start).arg(count), attempts,
                    [&] { return writeBlock(slave, start, block); });
}

QVector<quint16> ModbusLink::BytesToRegisters(const QByteArray &bytes)
{
    return regtext::bytesToRegisters(bytes);
}

QByteArray ModbusLink::RegistersToBytes(const QVector<quint16> &registers, int count)
{
    return regtext::registersToBytes(registers, count);
}
