#pragma once
// The GBK codec under RegisterText: Qt's ICU codec on Linux (Gbk_icu.cpp),
// code page 936 on Windows (Gbk_win.cpp), whose Qt has no ICU.

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace gbk {

// One character (a surrogate pair counts as one) as GBK bytes; empty when
// GBK has no code for it. Nothing is ever put in its place.
QByteArray encodeCharacter(QStringView ch);

// GBK bytes as text. An incomplete last character is dropped; a byte that
// starts no GBK character shows as U+FFFD.
QString decode(const QByteArray &bytes);

} // namespace gbk
