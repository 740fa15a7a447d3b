#include "PdfTextMap.h"

#include <QRegularExpression>
#include <QSet>

#include <map>

namespace sheet {

namespace {

using Corrections = std::map<char16_t, char16_t>; // the code point Qt names -> the character drawn

// Qt's rule, run on the same fonts: a glyph is named by the lowest code point
// mapped to it. Wherever that is not the character drawn, the drawn one wins
// (unless both were drawn, which no map can tell apart).
Corrections corrections(const QString &drawn, const std::vector<QRawFont> &fonts)
{
    QSet<char16_t> used;
    for (QChar c : drawn)
        if (!c.isSurrogate())
            used.insert(c.unicode());
    QString all;
    for (char32_t code = 1; code < 0x10000; ++code)
        if (!QChar::isSurrogate(code))
            all += QChar(static_cast<char16_t>(code));
    Corrections out;
    for (const QRawFont &font : fonts) {
        const QList<quint32> glyphs = font.glyphIndexesForString(all);
        if (glyphs.size() != all.size())
            continue;
        std::map<char16_t, quint32> glyphOf;
        std::map<quint32, char16_t> lowest;
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (!glyphs[i])
                continue;
            glyphOf[all[i].unicode()] = glyphs[i];
            lowest.emplace(glyphs[i], all[i].unicode()); // the first stays
        }
        for (char16_t x : used) {
            const auto g = glyphOf.find(x);
            if (g == glyphOf.end())
                continue;
            const char16_t named = lowest.at(g->second);
            if (named != x && !used.contains(named))
                out[named] = x;
        }
    }
    return out;
}

QString fromHex(QStringView hex)
{
    QString text;
    for (qsizetype i = 0; i + 4 <= hex.size(); i += 4)
        text += QChar(static_cast<char16_t>(hex.mid(i, 4).toUShort(nullptr, 16)));
    return text;
}

QString hex(uint value) { return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper(); }

// A character map as Qt writes it (bfrange lines with an array or a
// start, perhaps bfchar lines): glyph -> text. Empty when it holds neither.
std::map<uint, QString> readMap(const QString &cmap)
{
    std::map<uint, QString> out;
    static const QRegularExpression range(QStringLiteral("<([0-9A-Fa-f]+)>\\s*<([0-9A-Fa-f]+)>\\s*(\\[[^\\]]*\\]|<[0-9A-Fa-f]*>)"));
    static const QRegularExpression single(QStringLiteral("<([0-9A-Fa-f]+)>\\s*<([0-9A-Fa-f]*)>"));
    static const QRegularExpression value(QStringLiteral("<([0-9A-Fa-f]*)>"));
    static const QRegularExpression section(QStringLiteral("begin(bfrange|bfchar)(.*?)end\\1"),
                                            QRegularExpression::DotMatchesEverythingOption);
    for (auto s = section.globalMatch(cmap); s.hasNext();) {
        const QRegularExpressionMatch m = s.next();
        if (m.captured(1) == QLatin1String("bfchar")) {
            for (auto e = single.globalMatch(m.capturedView(2)); e.hasNext();) {
                const QRegularExpressionMatch c = e.next();
                out[c.capturedView(1).toUInt(nullptr, 16)] = fromHex(c.capturedView(2));
            }
            continue;
        }
        for (auto e = range.globalMatch(m.capturedView(2)); e.hasNext();) {
            const QRegularExpressionMatch r = e.next();
            const uint first = r.capturedView(1).toUInt(nullptr, 16), last = r.capturedView(2).toUInt(nullptr, 16);
            if (r.capturedView(3).startsWith(u'[')) {
                uint glyph = first;
                for (auto v = value.globalMatch(r.capturedView(3)); v.hasNext() && glyph <= last; ++glyph)
                    out[glyph] = fromHex(v.next().capturedView(1));
                continue;
            }
            QString text = fromHex(r.capturedView(3).mid(1, r.capturedView(3).size() - 2));
            for (uint glyph = first; glyph <= last && !text.isEmpty(); ++glyph) {
                out[glyph] = text;
                text.back() = QChar(static_cast<char16_t>(text.back().unicode() + 1));
            }
        }
    }
    return out;
}

QByteArray writeMap(const std::map<uint, QString> &map)
{
    QString out = QStringLiteral("/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                                 "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                                 "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                                 "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n");
    constexpr size_t kPerSection = 100; // the most one section may hold
    auto entry = map.begin();
    for (size_t done = 0; done < map.size();) {
        const size_t n = std::min(kPerSection, map.size() - done);
        out += QStringLiteral("%1 beginbfchar\n").arg(n);
        for (size_t i = 0; i < n; ++i, ++entry) {
            QString units;
            for (QChar c : entry->second)
                units += hex(c.unicode());
            out += QStringLiteral("<%1> <%2>\n").arg(hex(entry->first), units);
        }
        out += QStringLiteral("endbfchar\n");
        done += n;
    }
    out += QStringLiteral("endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
    return out.toLatin1();
}

} // namespace

QByteArray withDrawnCharacters(const QByteArray &pdf, const QString &drawn, const std::vector<QRawFont> &fonts)
{
    const Corrections fixes = corrections(drawn, fonts);
    if (fixes.empty())
        return pdf;
    // The last trailer: the revision this one follows.
    static const QRegularExpression trailerPattern(QStringLiteral("trailer\\s*<<(.*)>>\\s*startxref\\s*(\\d+)\\s*%%EOF\\s*$"),
                                                   QRegularExpression::DotMatchesEverythingOption);
    const QString text = QString::fromLatin1(pdf); // byte for byte
    const QRegularExpressionMatch trailer = trailerPattern.match(text, text.lastIndexOf(QLatin1String("trailer")));
    static const QRegularExpression size(QStringLiteral("/Size\\s+(\\d+)")), root(QStringLiteral("/Root\\s+(\\d+ \\d+ R)")),
        info(QStringLiteral("/Info\\s+(\\d+ \\d+ R)"));
    const QRegularExpressionMatch sizeMatch = size.match(trailer.capturedView(1)), rootMatch = root.match(trailer.capturedView(1));
    if (!trailer.hasMatch() || !sizeMatch.hasMatch() || !rootMatch.hasMatch())
        return pdf;

    QByteArray revision;
    std::map<int, qsizetype> offsets;
    QSet<int> seen;
    static const QRegularExpression reference(QStringLiteral("/ToUnicode\\s+(\\d+) 0 R"));
    for (auto r = reference.globalMatch(text); r.hasNext();) {
        const int object = r.next().captured(1).toInt();
        if (seen.contains(object))
            continue;
        seen.insert(object);
        // Qt writes the map unfiltered, its length given directly.
        const QRegularExpression stream(QStringLiteral("(?:^|\\n)%1 0 obj\\s*<<\\s*/Length (\\d+)\\s*>>\\s*stream\\r?\\n").arg(object));
        const QRegularExpressionMatch s = stream.match(text);
        if (!s.hasMatch())
            continue;
        std::map<uint, QString> map = readMap(text.mid(s.capturedEnd(), s.captured(1).toInt()));
        bool changed = false;
        for (auto &[glyph, chars] : map) {
            const auto fix = chars.size() == 1 ? fixes.find(chars[0].unicode()) : fixes.end();
            if (fix != fixes.end()) {
                chars = QChar(fix->second);
                changed = true;
            }
        }
        if (!changed)
            continue;
        const QByteArray body = writeMap(map);
        offsets[object] = pdf.size() + revision.size();
        revision += QByteArray::number(object) + " 0 obj\n<< /Length " + QByteArray::number(body.size()) + " >>\nstream\n" + body
                    + "endstream\nendobj\n";
    }
    if (offsets.empty())
        return pdf;
    const qsizetype xref = pdf.size() + revision.size();
    revision += "xref\n0 1\n0000000000 65535 f \n";
    for (const auto &[object, offset] : offsets)
        revision += QByteArray::number(object) + " 1\n" + QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    const QRegularExpressionMatch infoMatch = info.match(trailer.capturedView(1));
    revision += "trailer\n<< /Size " + sizeMatch.captured(1).toLatin1() + " /Root " + rootMatch.captured(1).toLatin1()
                + (infoMatch.hasMatch() ? " /Info " + infoMatch.captured(1).toLatin1() : QByteArray()) + " /Prev "
                + trailer.captured(2).toLatin1() + " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf + revision;
}

} // namespace sheet
