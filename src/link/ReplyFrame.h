#pragma once
// Modbus RTU frames as they cross the wire: the requests this tool sends and
// the checks a reply must pass before its values are believed.

#include <QByteArray>
#include <QString>
#include <QVector>

namespace frame {

constexpr quint8 kReadHoldingRegisters = 0x03;
constexpr quint8 kWriteSingleRegister = 0x06;
constexpr quint8 kWriteMultipleRegisters = 0x10;

// Requests without their CRC (the RTU backend appends it).
QByteArray readRequest(quint8 slave, int start, int count);
QByteArray writeSingleRequest(quint8 slave, int address, quint16 value);
QByteArray writeBlockRequest(quint8 slave, int start, const QVector<quint16> &values);

quint16 crc16(const QByteArray &bytes);
QByteArray withCrc(const QByteArray &bytes);

// Checks a whole reply (CRC included) against the request it answers. Returns
// an empty text when it is the right answer, else what is wrong with it. For a
// read, values receives the registers.
QString checkReply(const QByteArray &request, const QByteArray &reply, QVector<quint16> *values);

QString hex(const QByteArray &bytes);

} // namespace frame
