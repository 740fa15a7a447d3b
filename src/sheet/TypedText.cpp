#include "TypedText.h"

#include "VisibleText.h"

namespace sheet {

namespace {

bool typable(char32_t code)
{
    // The space bar gives the plain space, a Chinese input method also the
    // full-width one; a combining mark comes with the letter it sits on.
    return code == U' ' || code == U'\u3000' || !visible::showsNothing(code, visible::Marks::Kept);
}

} // namespace

std::vector<TypedPiece> typedPieces(const QString &text)
{
    std::vector<TypedPiece> pieces;
    for (const visible::Character &c : visible::charactersOf(text)) {
        if (!typable(c.code))
            pieces.push_back({visible::codePoint(c.code), false});
        else if (!pieces.empty() && pieces.back().typable)
            pieces.back().text += c.text;
        else
            pieces.push_back({c.text, true});
    }
    return pieces;
}

} // namespace sheet
