// Typed relay action times: any text must give a number, and a register value
// only when the rounded number fits a signed 16-bit register.
#include "ActionTime.h"
#include "FuzzSupport.h"

#include <cmath>

namespace {

bool same(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

QString stripped(const QString &text)
{
    QString s = text;
    s.remove(u' ').remove(u'\t').remove(u'\n');
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int blankAt = in.ConsumeIntegral<int>();
    const int blankKind = in.ConsumeIntegralInRange<int>(0, 2);
    const QString text = fuzzText(in);

    const double number = actiontime::leadingNumber(text);
    const std::optional<qint16> value = actiontime::registerValue(text);
    const double rounded = std::nearbyint(number);
    if (value)
        FUZZ_CHECK(*value == rounded); // qint16 itself keeps it within -32768..32767
    else
        FUZZ_CHECK(!(rounded >= -32768.0 && rounded <= 32767.0));

    // Blanks, tabs and line feeds do not count wherever they stand.
    QString spaced = text;
    spaced.insert(text.isEmpty() ? 0 : static_cast<qsizetype>(static_cast<unsigned>(blankAt) % (text.size() + 1)),
                  QChar(u" \t\n"[blankKind]));
    FUZZ_CHECK(same(actiontime::leadingNumber(spaced), number));

    // Reading stops at the first character that cannot continue the number.
    FUZZ_CHECK(same(actiontime::leadingNumber(text + QStringLiteral("x")), number));

    // A sign before a decimal number only flips it.
    const QString s = stripped(text);
    if (!s.isEmpty() && ((s.front() >= u'0' && s.front() <= u'9') || s.front() == u'.')) {
        FUZZ_CHECK(same(actiontime::leadingNumber(QStringLiteral("-") + text), -number));
        FUZZ_CHECK(same(actiontime::leadingNumber(QStringLiteral("+") + text), number));
    }
    return 0;
}
