#include "RegisterText.h"

#include "Gbk.h"

#include <algorithm>

namespace regtext {

namespace {
// One character (a surrogate pair counts as one) as GBK bytes, or empty when
// GBK has no code for it. A round trip decides, so a codec's substitution
// byte is never mistaken for the character.
QByteArray encodeOne(QStringView ch)
{
    if (ch.size() == 1 && (ch.front().isSurrogate() || ch.front().isNull()))
        return {}; // a lone surrogate has no code; a NUL would cut the text short
    QByteArray bytes = gbk::encodeCharacter(ch);
    if (bytes.isEmpty() || gbk::decode(bytes) != ch)
        return {};
    return bytes;
}
} // namespace

GbkText encodeGbk(const QString &text)
{
    GbkText out;
    // Pure ASCII is the common case and maps byte for byte.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0 && c.unicode() < 0x80; })) {
        out.bytes = text.toLatin1();
        return out;
    }
    for (qsizetype i = 0; i < text.size();) {
        qsizetype len = (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
        QStringView ch = QStringView(text).mid(i, len);
        QByteArray bytes = encodeOne(ch);
        if (bytes.isEmpty())
            out.unencodable += ch.toString();
        else
            out.bytes += bytes;
        i += len;
    }
    return out;
}

QString decodeGbk(const QByteArray &bytes)
{
    qsizetype end = bytes.indexOf('\0');
    return gbk::decode(end < 0 ? bytes : bytes.left(end));
}

QVector<quint16> bytesToRegisters(const QByteArray &bytes)
{
    QVector<quint16> regs((bytes.size() + 1) / 2, 0);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        quint16 byte = static_cast<quint8>(bytes[i]);
        regs[i / 2] |= (i % 2 == 0) ? quint16(byte << 8) : byte;
    }
    return regs;
}

QByteArray registersToBytes(const QVector<quint16> &registers, int count)
{
    count = std::clamp<int>(count, 0, static_cast<int>(registers.size()));
    QByteArray bytes(2 * count, '\0');
    for (int i = 0; i < count; ++i) {
        bytes[2 * i] = static_cast<char>(registers[i] >> 8);
        bytes[2 * i + 1] = static_cast<char>(registers[i] & 0xFF);
    }
    return bytes;
}

QString decodeTextBlock(const QVector<quint16> &values, int count)
{
    // The trailing zero guarantees an end even when all 2 * count bytes are text.
    QByteArray buffer = registersToBytes(values, count);
    buffer.append('\0');
    return decodeGbk(buffer);
}

bool textFillsBlock(const QVector<quint16> &values, int count)
{
    return count > 0 && count <= values.size() && !registersToBytes(values, count).contains('\0');
}

QVector<quint16> throughTextEnd(const QVector<quint16> &values)
{
    const auto end = std::find_if(values.begin(), values.end(), [](quint16 v) { return (v >> 8) == 0 || (v & 0xFF) == 0; });
    return end == values.end() ? values : QVector<quint16>(values.begin(), end + 1);
}

QVector<quint16> slotRegisters(const QByteArray &bytes, int slotBytes)
{
    QByteArray withEnd = bytes;
    if (withEnd.size() < slotBytes)
        withEnd.append('\0');
    return bytesToRegisters(withEnd);
}

} // namespace regtext
