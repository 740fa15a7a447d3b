#include "ReplyFrame.h"


namespace frame {

namespace {

void putWord(QByteArray &out, int word)
{
    out.append(static_cast<char>((word >> 8) & 0xFF));
    out.append(static_cast<char>(word & 0xFF));
}

int word(const QByteArray &bytes, int at)
{
    return (static_cast<quint8>(bytes[at]) << 8) | static_cast<quint8>(bytes[at + 1]);
}

} // namespace

QString exceptionText(int code)
{
    switch (code) {
    case 1: return QStringLiteral("Modbus exception 01 (illegal function)");
    case 2: return QStringLiteral("Modbus exception 02 (illegal data address)");
    case 3: return QStringLiteral("Modbus exception 03 (illegal data value)");
    case 4: return QStringLiteral("Modbus exception 04 (slave device failure)");
    default: return QStringLiteral("Modbus exception %1").arg(code, 2, 16, QLatin1Char('0'));
    }
}

QByteArray readRequest(quint8 slave, int start, int count)
{
    QByteArray out;
    out.append(static_cast<char>(slave));
    out.append(static_cast<char>(kReadHoldingRegisters));
    putWord(out, start);
    putWord(out, count);
    return out;
}

QByteArray writeSingleRequest(quint8 slave, int address, quint16 value)
{
    QByteArray out;
    out.append(static_cast<char>(slave));
    out.append(static_cast<char>(kWriteSingleRegister));
    putWord(out, address);
    putWord(out, value);
    return out;
}

QByteArray writeBlockRequest(quint8 slave, int start, const QVector<quint16> &values)
{
    QByteArray out;
    out.append(static_cast<char>(slave));
    out.append(static_cast<char>(kWriteMultipleRegisters));
    putWord(out, start);
    putWord(out, static_cast<int>(values.size()));
    out.append(static_cast<char>(2 * values.size()));
    for (quint16 v : values)
        putWord(out, v);
    return out;
}

quint16 crc16(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray withCrc(const QByteArray &bytes)
{
    const quint16 crc = crc16(bytes);
    QByteArray out = bytes;
    out.append(static_cast<char>(crc & 0xFF)); // RTU sends the CRC low byte first
    out.append(static_cast<char>(crc >> 8));
    return out;
}

QString checkReply(const QByteArray &request, const QByteArray &reply, QVector<quint16> *values)
{
    if (request.size() < 6)
        return QStringLiteral("malformed request");
    if (reply.size() < 5)
        return QStringLiteral("reply too short (%1 bytes)").arg(reply.size());
    const QByteArray body = reply.left(reply.size() - 2);
    if (withCrc(body) != reply)
        return QStringLiteral("CRC error");
    if (reply[0] != request[0])
        return QStringLiteral("reply from slave %1").arg(static_cast<quint8>(reply[0]));
    const quint8 function = static_cast<quint8>(request[1]);
    const quint8 answered = static_cast<quint8>(reply[1]);
    if (answered == (function | rtu::kExceptionFlag))
        return reply.size() == 5 ? exceptionText(static_cast<quint8>(reply[2])) : QStringLiteral("malformed exception reply");
    if (answered != function)
        return QStringLiteral("reply to function %1 for a request of function %2").arg(answered).arg(function);

    switch (function) {
    case kReadHoldingRegisters: {
        const int count = word(request, 4);
        if (static_cast<quint8>(reply[2]) != 2 * count || reply.size() != 5 + 2 * count)
            return QStringLiteral("reply carries %1 bytes for %2 registers").arg(static_cast<quint8>(reply[2])).arg(count);
        if (values) {
            values->resize(count);
            for (int i = 0; i < count; ++i)
                (*values)[i] = static_cast<quint16>(word(reply, 3 + 2 * i));
        }
        return QString();
    }
    case kWriteSingleRegister:
        if (reply.size() != 8 || body != request.left(6))
            return QStringLiteral("write reply does not echo the request");
        return QString();
    case kWriteMultipleRegisters:
        if (reply.size() != 8 || body != request.left(6))
            return QStringLiteral("write reply does not echo address and count");
        return QString();
    default:
        return QStringLiteral("unsupported function %1").arg(function);
    }
}

bool isExceptionReply(const QByteArray &request, const QByteArray &reply)
{
    return request.size() >= 2 && reply.size() == 3 + rtu::kCrcBytes && reply[0] == request[0]
           && static_cast<quint8>(reply[1]) == (static_cast<quint8>(request[1]) | rtu::kExceptionFlag)
           && withCrc(reply.left(3)) == reply;
}

int replyLength(const QByteArray &head)
{
    if (head.size() < 3)
        return 0;
    const quint8 function = static_cast<quint8>(head[1]);
    if (function & rtu::kExceptionFlag)
        return 3 + rtu::kCrcBytes;
    switch (function) {
    case kReadHoldingRegisters: return 3 + static_cast<quint8>(head[2]) + rtu::kCrcBytes;
    case kWriteSingleRegister:
    case kWriteMultipleRegisters: return 6 + rtu::kCrcBytes;
    default: return -1;
    }
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace frame
