#include "TypedText.h"

#include "VisibleText.h"

namespace sheet {

namespace {

bool typable(char32_t code)
{
    // The space bar gives the plain space, a Chinese input method also the full-width one.
    if (code == U' ' || code == U'\u3000')
        return true;
    switch (QChar::category(code)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        return true;
    }
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
