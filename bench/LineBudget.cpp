#include "LineBudget.h"

// RTU frame sizes: slave, function, payload, CRC.
bool CountingRtuLink::readBlock(quint8 slave, int start, int count, QVector<quint16> &values)
{
    this->count(8, 5 + 2 * count);
    return RtuLink::readBlock(slave, start, count, values);
}

bool CountingRtuLink::writeSingle(quint8 slave, int address, quint16 value)
{
    count(8, 8);
    return RtuLink::writeSingle(slave, address, value);
}

bool CountingRtuLink::writeBlock(quint8 slave, int start, const QVector<quint16> &values)
{
    count(9 + 2 * static_cast<int>(values.size()), 8);
    return RtuLink::writeBlock(slave, start, values);
}

void CountingRtuLink::count(int requestBytes, int replyBytes)
{
    ++m_exchanges;
    m_bytes += requestBytes + replyBytes;
}
