#include "VisibleText.h"

#include <QStringList>

namespace visible {

bool showsNothing(char32_t code, Marks marks)
{
    switch (QChar::category(code)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return marks == Marks::ShowNothing;
    default:
        return false;
    }
}

std::vector<Character> charactersOf(const QString &text)
{
    std::vector<Character> out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out.push_back({QChar::surrogateToUcs4(text[i], text[i + 1]), text.mid(i, 2)});
            ++i;
        } else {
            out.push_back({text[i].unicode(), text.mid(i, 1)});
        }
    }
    return out;
}

QString characters(const QString &text)
{
    QStringList shown;
    for (const Character &c : charactersOf(text)) {
        const QString one = showsNothing(c.code, Marks::ShowNothing) ? codePoint(c.code) : c.text;
        if (!shown.contains(one))
            shown << one;
    }
    return shown.join(u' ');
}

QString codePoint(char32_t code)
{
    return QStringLiteral("U+%1").arg(static_cast<uint>(code), 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace visible
