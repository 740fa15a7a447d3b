#pragma once
// Register images of the controller for tests: built with the tool's own
// encoders, saved for alarmcfg-sim --image, and read back field by field.

#include <QMap>
#include <QString>

#include <vector>

namespace deviceimage {

// A text into its slot as the write stores it: GBK, ended by a zero byte
// when there is room for one in the slot's 40 bytes.
void putText(std::vector<quint16> &image, int slot, const QString &text);

// Writes the image as alarmcfg-sim --image reads it; false on failure.
bool save(const QString &path, const std::vector<quint16> &image);

// Every field the tool reads and writes, as the device holds it: each text
// slot decoded whole (all 20 registers), the phone numbers in slot order, the
// action times, the option flags (bits 0 and 1) and the alarm mode (its
// highest set bit).
QMap<QString, QString> fields(const std::vector<quint16> &image);

// The registers no write of the tool touches, with their values.
QMap<int, quint16> untouchedRegisters(const std::vector<quint16> &image);

} // namespace deviceimage
