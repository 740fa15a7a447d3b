#pragma once
// Characters named in a message: one that shows nothing on screen (NUL, a
// control or format character, a lone surrogate) would leave the message
// naming nothing, so it is given by its code point.

#include <QString>

#include <vector>

namespace visible {

// Each character once, in the order they come, separated by spaces; those
// that show nothing as "U+0000", "U+200B".
QString characters(const QString &text);

// Whether a character shows nothing by itself: a control or format
// character, a surrogate, private use, unassigned, a space or a separator;
// and a combining mark, alone in a message, unless it is to be kept.
enum class Marks { ShowNothing, Kept };
bool showsNothing(char32_t code, Marks marks);

// A character by its code point: "U+0007", "U+200B".
QString codePoint(char32_t code);

// The characters of text, in order, each with its code point: a pair of
// surrogates is one character, a lone surrogate stays itself (QString's
// toUcs4 would make it U+FFFD).
struct Character {
    char32_t code;
    QString text;
};
std::vector<Character> charactersOf(const QString &text);

} // namespace visible
