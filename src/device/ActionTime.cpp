#include "ActionTime.h"

#include "FieldTable.h"

#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <limits>

namespace actiontime {

namespace {

// A Chinese input method types full-width digits, signs and point; they mean
// the same as their ASCII forms.
QChar halfWidth(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= u'０' && u <= u'９') || u == u'＋' || u == u'－' || u == u'．')
        return QChar(u - (u'０' - u'0'));
    return c;
}

bool isSkipped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isHexDigit(QChar c)
{
    return isDigit(c) || (c.toUpper() >= u'A' && c.toUpper() <= u'F');
}

// Hex and octal numbers take the width of the smallest integer they fit, so
// &HFFFF is -1 just as it is in a 16-bit register.
double radixNumber(const QString &digits, int base)
{
    if (digits.isEmpty())
        return 0;
    bool ok = false;
    const qulonglong v = digits.toULongLong(&ok, base);
    if (!ok || v > 0xFFFFFFFFull)
        return std::numeric_limits<double>::infinity();
    if (v <= 0xFFFF)
        return static_cast<qint16>(static_cast<quint16>(v));
    return static_cast<qint32>(static_cast<quint32>(v));
}

} // namespace

double leadingNumber(const QString &text)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text)
        if (!isSkipped(c))
            s += halfWidth(c);

    if (s.size() >= 2 && s[0] == u'&') {
        const QChar kind = s[1].toUpper();
        const int base = kind == u'H' ? 16 : kind == u'O' ? 8 : 0;
        if (base != 0) {
            qsizetype end = 2;
            while (end < s.size() && ((base == 16 && isHexDigit(s[end])) || (base == 8 && s[end] >= u'0' && s[end] <= u'7')))
                ++end;
            return radixNumber(s.mid(2, end - 2), base);
        }
        return 0;
    }

    QByteArray number;
    qsizetype i = 0;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        number += s[i++].toLatin1();
    bool anyDigit = false;
    while (i < s.size() && isDigit(s[i])) {
        number += s[i++].toLatin1();
        anyDigit = true;
    }
    if (i < s.size() && s[i] == u'.') {
        number += '.';
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            number += s[i++].toLatin1();
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0;
    bool negativeExponent = false;
    if (i < s.size() && (s[i].toUpper() == u'E' || s[i].toUpper() == u'D')) {
        qsizetype j = i + 1;
        QByteArray exponent = "e";
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-'))
            exponent += s[j++].toLatin1();
        negativeExponent = exponent.endsWith('-');
        bool expDigit = false;
        while (j < s.size() && isDigit(s[j])) {
            exponent += s[j++].toLatin1();
            expDigit = true;
        }
        if (expDigit)
            number += exponent;
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok) { // only an exponent beyond double's range fails here
        if (negativeExponent)
            return 0;
        return number.startsWith('-') ? -std::numeric_limits<double>::infinity()
                                      : std::numeric_limits<double>::infinity();
    }
    return value;
}

int roundedValue(const QString &text)
{
    const double rounded = std::nearbyint(leadingNumber(text)); // default mode: halves to even
    return static_cast<int>(std::clamp<double>(rounded, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

std::optional<qint16> registerValue(const QString &text)
{
    const int rounded = roundedValue(text);
    if (!params::fitsRegister(rounded))
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

} // namespace actiontime
