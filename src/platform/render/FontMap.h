#pragma once

#include <QString>

namespace qm {

// The account editor offers Windows font names (ＭＳ ゴシック, ＭＳ Ｐ明朝, ...).
// They map to installed Japanese fonts: Gothic -> IPAGothic, proportional
// Gothic -> IPAPGothic, Mincho -> IPAMincho, proportional Mincho -> IPAPMincho.
// Any other name that is installed is used as it is; otherwise IPAGothic, or
// the first installed family that can draw kana and kanji.
QString mapFontFamily(const QString& windowsName);

// True when the family draws every character of text (no missing-glyph boxes).
bool fontCoversText(const QString& family, const QString& text);

} // namespace qm
