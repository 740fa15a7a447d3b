#pragma once
// A text as someone must type it on a phone to send it: the characters a
// keypad gives, and those it cannot give (control and format characters,
// line breaks, spaces other than the plain and the full-width one), which
// the sheet shows by their code point instead. In a command the owner
// types, a space nobody would see is shown so too: a full-width one, and a
// plain one at either end.

#include <QString>

#include <vector>

namespace sheet {

struct TypedPiece {
    QString text;  // as it stands, or "U+0007" for a character given by its code point
    bool typable;
};

enum class Typing {
    Received, // a reply or an alarm text: read off a phone's screen
    Sent,     // a command: typed by the owner exactly
};

// The text in runs of characters shown as they stand and single ones given
// by their code point.
std::vector<TypedPiece> typedPieces(const QString &text, Typing typing = Typing::Received);

} // namespace sheet
