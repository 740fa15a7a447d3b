#pragma once
// Register images of the controller for tests: built with the tool's own
// encoders, saved for alarmcfg-sim --image, and read back field by field.

#include <QList>
#include <QMap>
#include <QString>

#include <vector>

namespace deviceimage {

// A text into its slot as the write stores it: GBK, ended by a zero byte
// when there is room for one in the slot's 40 bytes.
void putText(std::vector<quint16> &image, int slot, const QString &text);

// A controller set up by someone else, with no start-up value of the window
// in any field: a password, ASCII and Chinese texts, an alarm text of 30
// bytes, a "+" number, its own all-on and all-off commands, options, mode
// and action times.
std::vector<quint16> customImage();

// A controller holding what the tool reads but does not keep: relay 2's
// on-command without a password, two other password prefixes than the
// "4321" of the other commands, mode 6, option bits 0x0103, registers
// 902-907 in use, an empty second phone slot, bytes after the ends of texts,
// and customImage's alarm text of 30 bytes.
std::vector<quint16> oddImage();
// oddImage() once "设置" has stored its six commands again behind a new
// password, as the window shows them, every other register as it was.
std::vector<quint16> oddImageWithPassword(const QString &password);

// The addresses whose registers differ between two images.
QList<int> differingRegisters(const std::vector<quint16> &a, const std::vector<quint16> &b);

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
