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
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A lone surrogate stays itself, as in the messages.
        char32_t code = text[i].unicode();
        qsizetype length = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text[i], text[i + 1]);
            length = 2;
        }
        if (!typable(code))
            pieces.push_back({visible::codePoint(code), false});
        else if (!pieces.empty() && pieces.back().typable)
            pieces.back().text += text.mid(i, length);
        else
            pieces.push_back({text.mid(i, length), true});
        i += length - 1;
    }
    return pieces;
}

} // namespace sheet
