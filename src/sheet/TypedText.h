#pragma once
// A text as someone must type it on a phone to send it: the characters a
// keypad gives, and those it cannot give (control and format characters,
// line breaks, spaces other than the plain and the full-width one), which
// the sheet shows by their code point instead.

#include <QString>

#include <vector>

namespace sheet {

struct TypedPiece {
    QString text;  // as it stands, or "U+0007" for a character no keypad gives
    bool typable;
};

// The text in runs of characters a keypad gives and single ones it does not.
std::vector<TypedPiece> typedPieces(const QString &text);

} // namespace sheet
