#pragma once
// What a PDF's text is when it is copied or extracted. Qt's PDF writer names
// each glyph's character by the lowest code point that the font maps to the
// glyph. Where a font gives one glyph to several code points, the text then
// reads as another character than the one drawn: Noto CJK draws 一 and the
// Kangxi radical ⼀ (U+2F00) alike, 日 and ⽇, and a space like a tab. A
// command copied from the sheet into an SMS would then not be the command.

#include <QByteArray>
#include <QRawFont>
#include <QString>

#include <vector>

namespace sheet {

// The PDF with one more revision appended, in which every character map
// names the characters drawn wherever the fonts gave their glyph a lower
// code point first. The PDF as it was when it holds nothing to mend or is
// not laid out as Qt writes it.
QByteArray withDrawnCharacters(const QByteArray &pdf, const QString &drawn, const std::vector<QRawFont> &fonts);

} // namespace sheet
