#pragma once

class QWidget;

namespace qm::ui {

// Places a top-level window in the middle of the screen it will appear on.
void centreOnScreen(QWidget* window);

// Twips are 1/1440 inch; the window layout rules are given in them.
int twipsToPixels(int twips, const QWidget* window);
int pixelsToTwips(int pixels, const QWidget* window);

} // namespace qm::ui
