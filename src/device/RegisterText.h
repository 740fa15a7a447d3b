#pragma once
// How the controller stores texts: GBK bytes packed two to a register, the
// first byte of each pair in the register's high byte.

#include <QByteArray>
#include <QString>
#include <QVector>

namespace regtext {

struct GbkText {
    QByteArray bytes;   // GBK bytes of every character that GBK can represent
    QString unencodable; // each character GBK cannot represent, once per occurrence
    bool ok() const { return unencodable.isEmpty(); }
};

// Encodes text to GBK; characters GBK lacks are reported, never replaced.
GbkText encodeGbk(const QString &text);

// Decodes GBK bytes up to the first zero byte.
QString decodeGbk(const QByteArray &bytes);

// Packs bytes two to a register (an odd count gets a zero pad byte).
QVector<quint16> bytesToRegisters(const QByteArray &bytes);
// Unpacks the first count registers; exact inverse of bytesToRegisters.
QByteArray registersToBytes(const QVector<quint16> &registers, int count);

// Decodes a text block as read from the device: the text ends at the first
// zero byte or after 2 * count bytes. Half of a double-byte character at the
// very end is dropped.
QString decodeTextBlock(const QVector<quint16> &values, int count);
// True when the block's 2 * count bytes hold no zero byte: the text did not
// end inside the block and may go on in the device's registers after it.
bool textFillsBlock(const QVector<quint16> &values, int count);

// The registers of a text block as read, up to and including the first one
// that holds a zero byte (the text's end); all of them when none does. What
// lies beyond the end stays the device's own.
QVector<quint16> throughTextEnd(const QVector<quint16> &values);

// The registers to write for a text of GBK bytes into a slot of slotBytes:
// the text followed by at least one zero byte whenever that still fits, so a
// shorter text never leaves the tail of an older one readable. An empty text
// gives one zero register. The caller checks that bytes fit the slot.
QVector<quint16> slotRegisters(const QByteArray &bytes, int slotBytes);

} // namespace regtext
