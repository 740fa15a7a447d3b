// GBK through Windows's code page 936, one character at a time, so that a
// character it lacks is told apart instead of turned into "?".
#include "Gbk.h"

#include <windows.h>

namespace gbk {

namespace {
constexpr UINT kCodePage = 936;
constexpr char16_t kReplacement = 0xFFFD;

bool isLeadByte(unsigned char b)
{
    return b >= 0x81 && b <= 0xFE;
}

bool isTrailByte(unsigned char b)
{
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}
} // namespace

QByteArray encodeCharacter(QStringView ch)
{
    char bytes[8];
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t *>(ch.utf16()),
                                      static_cast<int>(ch.size()), bytes, sizeof(bytes), nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        return {};
    return QByteArray(bytes, n);
}

QString decode(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            text += QChar(b);
            ++i;
            continue;
        }
        int length = 1;
        if (isLeadByte(b)) {
            if (i + 1 == bytes.size())
                break; // half a character at the end
            if (isTrailByte(static_cast<unsigned char>(bytes[i + 1])))
                length = 2;
        }
        wchar_t wide[2];
        const int n = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.constData() + i, length, wide, 2);
        if (n > 0)
            text += QString::fromWCharArray(wide, n);
        else
            text += QChar(kReplacement);
        i += length;
    }
    return text;
}

} // namespace gbk
