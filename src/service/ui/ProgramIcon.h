#pragma once

#include <QIcon>

namespace qm::ui {

// The program's icon (window, about box and tray), drawn once so no image file has to ship.
QIcon programIcon();

// Japanese captions need a font that has the glyphs; picks an installed Japanese face.
void applyJapaneseFont();

} // namespace qm::ui
