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

bool ModbusLink::ReadRegisters(quint8 slave, int start, int count)
{
    if (!checkRange(start, count, regmap::kMaxReadCount))
        return false;
    QVector<quint16> values;
    if (!readBlock(slave, start, count, values))
        return false;
    setLastError(QString());
    emit ReplyReceived(start, values, count);
    return true;
}

bool ModbusLink::WriteRegister(quint8 slave, int address, quint16 value)
{
    bool ok = checkRange(address, 1, 1) && writeSingle(slave, address, value);
    if (ok)
        setLastError(QString());
    emit WriteDone();
    return ok;
}

bool ModbusLink::WriteRegisters(quint8 slave, int start, const QVector<quint16> &values, int count)
{
    if (!checkRange(start, count, regmap::kMaxWriteCount))
        return false;
    if (count > values.size()) {
        setLastError(tr("%1 registers to write but only %2 values").arg(count).arg(values.size()));
        return false;
    }
    if (!writeBlock(slave, start, values.mid(0, count)))
        return false;
    setLastError(QString());
    return true;
}

QVector<quint16> ModbusLink::BytesToRegisters(const QByteArray &bytes)
{
    return regtext::bytesToRegisters(bytes);
}

QByteArray ModbusLink::RegistersToBytes(const QVector<quint16> &registers, int count)
{
    return regtext::registersToBytes(registers, count);
}
