#include "DuplicateKeys.h"

#include <QSet>

#include <algorithm>

namespace jsonkeys {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The string that starts at the quote at *at, escapes decoded; *at is left on
// its closing quote (or at the end of the text).
QString readString(const QByteArray &json, qsizetype *at)
{
    QString text;
    QByteArray raw; // UTF-8 between two escapes
    qsizetype i = *at + 1;
    for (; i < json.size() && json[i] != '"'; ++i) {
        if (json[i] != '\\') {
            raw += json[i];
            continue;
        }
        text += QString::fromUtf8(raw);
        raw.clear();
        if (++i >= json.size())
            break;
        switch (json[i]) {
        case 'b': text += u'\b'; break;
        case 'f': text += u'\f'; break;
        case 'n': text += u'\n'; break;
        case 'r': text += u'\r'; break;
        case 't': text += u'\t'; break;
        case 'u': {
            // One UTF-16 unit; the two of a surrogate pair come as two escapes.
            char16_t unit = 0;
            int k = 0;
            for (; k < 4 && i + 1 < json.size() && hexDigit(json[i + 1]) >= 0; ++k)
                unit = static_cast<char16_t>(unit * 16 + hexDigit(json[++i]));
            text += QChar(unit);
            break;
        }
        default: text += QLatin1Char(json[i]); break; // \" \\ \/
        }
    }
    *at = i;
    return text + QString::fromUtf8(raw);
}

struct Level {
    bool object;
    QString path;
    QSet<QString> keys;
    QString key;           // the key of the value being read
    int index = 0;         // the element being read
    bool keyNext = false;  // an object's next string is a key
};

QString childPath(const std::vector<Level> &levels)
{
    if (levels.empty())
        return QString();
    const Level &l = levels.back();
    if (!l.object)
        return QStringLiteral("%1[%2]").arg(l.path).arg(l.index);
    return l.path.isEmpty() ? l.key : l.path + u'.' + l.key;
}

} // namespace

std::vector<QString> duplicates(const QByteArray &json)
{
    std::vector<QString> found;
    std::vector<Level> levels;
    for (qsizetype i = 0; i < json.size(); ++i) {
        switch (json[i]) {
        case '{':
        case '[': {
            const bool object = json[i] == '{';
            levels.push_back({object, childPath(levels), {}, {}, 0, object});
            break;
        }
        case '}':
        case ']':
            if (!levels.empty())
                levels.pop_back();
            break;
        case ',':
            if (!levels.empty()) {
                Level &l = levels.back();
                if (l.object)
                    l.keyNext = true;
                else
                    ++l.index;
            }
            break;
        case '"': {
            const QString text = readString(json, &i);
            if (levels.empty() || !levels.back().object || !levels.back().keyNext)
                break; // a value
            Level &l = levels.back();
            l.keyNext = false;
            l.key = text;
            if (l.keys.contains(text)) {
                const QString path = childPath(levels);
                if (std::find(found.begin(), found.end(), path) == found.end())
                    found.push_back(path);
            }
            l.keys.insert(text);
            break;
        }
        default: break; // ':', numbers, true, false, null and white space
        }
    }
    return found;
}

} // namespace jsonkeys
