// GBK through Qt's ICU codec.
#include "Gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace gbk {

namespace {
const char *const kCodec = "GBK";
} // namespace

QByteArray encodeCharacter(QStringView ch)
{
    QStringEncoder encoder(kCodec);
    QByteArray bytes = encoder.encode(ch);
    if (encoder.hasError())
        return {};
    return bytes;
}

QString decode(const QByteArray &bytes)
{
    // A fresh stateful decoder holds back an incomplete last character and
    // is never flushed, so half a character never shows as a replacement.
    QStringDecoder decoder(kCodec);
    return decoder.decode(bytes);
}

} // namespace gbk
