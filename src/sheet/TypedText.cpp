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

// Whether a command's character stands as it is: a full-width space looks
// like a gap, plain ones at either end like nothing at all.
bool shownAsItStands(char32_t code, bool atAnEnd)
{
    return typable(code) && code != U'\u3000' && !(code == U' ' && atAnEnd);
}

} // namespace

std::vector<TypedPiece> typedPieces(const QString &text, Typing typing)
{
    std::vector<TypedPiece> pieces;
    const std::vector<visible::Character> characters = visible::charactersOf(text);
    // The plain spaces before the first other character and after the last.
    size_t first = 0, end = characters.size();
    while (first < end && characters[first].code == U' ')
        ++first;
    while (end > first && characters[end - 1].code == U' ')
        --end;
    for (size_t i = 0; i < characters.size(); ++i) {
        const visible::Character &c = characters[i];
        const bool atAnEnd = i < first || i >= end;
        const bool asItStands = typing == Typing::Sent ? shownAsItStands(c.code, atAnEnd) : typable(c.code);
        if (!asItStands)
            pieces.push_back({visible::codePoint(c.code), false});
        else if (!pieces.empty() && pieces.back().typable)
            pieces.back().text += c.text;
        else
            pieces.push_back({c.text, true});
    }
    return pieces;
}

} // namespace sheet
