#pragma once
// Modbus RTU frames as they cross the wire: the requests this tool sends and
// the checks a reply must pass before its values are believed.

#include "ModbusRtu.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace frame {

constexpr quint8 kReadHoldingRegisters = rtu::kReadHoldingRegisters;
constexpr quint8 kWriteSingleRegister = rtu::kWriteSingleRegister;
constexpr quint8 kWriteMultipleRegisters = rtu::kWriteMultipleRegisters;

// Requests without their CRC (withCrc appends it).
QByteArray readRequest(quint8 slave, int start, int count);
QByteArray writeSingleRequest(quint8 slave, int address, quint16 value);
QByteArray writeBlockRequest(quint8 slave, int start, const QVector<quint16> &values);

quint16 crc16(const QByteArray &bytes);
QByteArray withCrc(const QByteArray &bytes);

// Checks a whole reply (CRC included) against the request it answers. Returns
// an empty text when it is the right answer, else what is wrong with it. For a
// read, values receives the registers.
QString checkReply(const QByteArray &request, const QByteArray &reply, QVector<quint16> *values);

// True when reply is a whole, well-formed exception reply to request: the
// device answered, so the line is still in step.
bool isExceptionReply(const QByteArray &request, const QByteArray &reply);

// The whole length of the reply frame that begins with head, CRC included,
// told from its first three bytes: 0 while fewer have arrived, -1 for a
// function this tool never asks for (the frame cannot be measured).
int replyLength(const QByteArray &head);

QString hex(const QByteArray &bytes);

// A Modbus exception code in the protocol's words: "Modbus exception 02
// (illegal data address)".
QString exceptionText(int code);

} // namespace frame
