// Text blocks as the device returns them: any registers, any count, bytes that
// are not GBK, and the GBK encoding of whatever text that gives.
#include "FuzzSupport.h"
#include "RegisterText.h"

#include <QStringList>

#include <algorithm>

namespace {

// The characters of text the way encodeGbk walks it: a surrogate pair is one.
QStringList characters(const QString &text)
{
    QStringList out;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
        out << text.mid(i, len);
        i += len;
    }
    return out;
}

// The text encodes character by character: what encodeGbk reports is exactly
// what it left out, in order, and what it kept decodes back to the rest.
void checkEncoding(const QString &text)
{
    const regtext::GbkText gbk = regtext::encodeGbk(text);
    FUZZ_CHECK(!gbk.bytes.contains('\0')); // a zero byte would end the stored text early

    QByteArray bytes;
    QString kept, dropped;
    for (const QString &c : characters(text)) {
        const regtext::GbkText one = regtext::encodeGbk(c);
        FUZZ_CHECK(one.ok() != one.bytes.isEmpty());
        bytes += one.bytes;
        (one.ok() ? kept : dropped) += c;
    }
    FUZZ_CHECK(gbk.bytes == bytes);
    FUZZ_CHECK(gbk.unencodable == dropped);
    FUZZ_CHECK(regtext::decodeGbk(gbk.bytes) == kept);
    FUZZ_CHECK(gbk.ok() == (kept == text));
}

void checkRegisters(const QByteArray &raw, int count)
{
    const QVector<quint16> values = regtext::bytesToRegisters(raw);
    const int n = static_cast<int>(values.size());
    FUZZ_CHECK(n == (raw.size() + 1) / 2);

    // Packing and unpacking are exact inverses; an odd byte count gets one zero pad.
    const QByteArray all = regtext::registersToBytes(values, n);
    FUZZ_CHECK(all == (raw.size() % 2 ? raw + QByteArray(1, '\0') : raw));
    FUZZ_CHECK(regtext::bytesToRegisters(all) == values);
    for (int i = 0; i < n; ++i)
        FUZZ_CHECK(values[i] == ((quint8(all[2 * i]) << 8) | quint8(all[2 * i + 1])));

    // A count beyond the registers at hand unpacks only those.
    const QByteArray first = regtext::registersToBytes(values, count);
    FUZZ_CHECK(first == all.left(2 * std::clamp(count, 0, n)));

    const QString text = regtext::decodeTextBlock(values, count);
    FUZZ_CHECK(!text.contains(QChar(0)));
    const qsizetype zero = first.indexOf('\0');
    const QByteArray textBytes = zero < 0 ? first : first.left(zero);
    FUZZ_CHECK(text == regtext::decodeGbk(textBytes));
    // GBK has no character shorter than one byte.
    FUZZ_CHECK(text.size() <= textBytes.size());
    // Registers past the first zero byte never change the text.
    if (zero >= 0)
        FUZZ_CHECK(text == regtext::decodeTextBlock(values, n));

    checkEncoding(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool()) {
        checkEncoding(fuzzText(in));
        return 0;
    }
    // Mostly counts near the registers at hand, sometimes any int.
    const int count = in.ConsumeBool() ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange<int>(-2, 130);
    const std::vector<uint8_t> rest = in.ConsumeRemainingBytes<uint8_t>();
    checkRegisters(QByteArray(reinterpret_cast<const char *>(rest.data()), static_cast<qsizetype>(rest.size())), count);
    return 0;
}
