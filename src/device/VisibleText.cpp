#include "VisibleText.h"

#include <QStringList>

namespace visible {

namespace {

bool showsNothing(char32_t code)
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
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

} // namespace

QString characters(const QString &text)
{
    QStringList shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A lone surrogate stays itself: QString::toUcs4 would make it U+FFFD.
        char32_t code = text[i].unicode();
        qsizetype length = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text[i], text[i + 1]);
            length = 2;
        }
        const QString one = showsNothing(code) ? codePoint(code) : text.mid(i, length);
        if (!shown.contains(one))
            shown << one;
        i += length - 1;
    }
    return shown.join(u' ');
}

QString codePoint(char32_t code)
{
    return QStringLiteral("U+%1").arg(static_cast<uint>(code), 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace visible
