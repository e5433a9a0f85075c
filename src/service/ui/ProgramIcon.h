#pragma once

#include <QIcon>

namespace qm::ui {

// The program's icon (window, about box and tray), drawn once so no image file has to ship.
QIcon programIcon();
// The same with a warning sign: a cycle logged a fault that is not mended yet.
QIcon attentionIcon();

// Japanese captions need a font that has the glyphs; picks an installed Japanese face.
void applyJapaneseFont();

} // namespace qm::ui
