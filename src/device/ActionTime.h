#pragma once
// Relay action times are typed as text and stored as one signed 16-bit register.

#include <QString>
#include <optional>

namespace actiontime {

// The number at the start of text, read the way the controller's tools always
// have: blanks, tabs and line feeds are skipped wherever they stand; an
// optional sign, digits, a decimal fraction and an exponent (E or D), or a
// hexadecimal (&H) or octal (&O) number; reading stops at the first other
// character; no number gives 0. Full-width digits, signs and point count as
// their ASCII forms.
double leadingNumber(const QString &text);

// The register value for a typed action time: the leading number rounded to
// the nearest integer, halves to the even neighbour; nothing when it does not
// fit a signed 16-bit register.
std::optional<qint16> registerValue(const QString &text);

} // namespace actiontime
