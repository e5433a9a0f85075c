#pragma once

#include <QtGlobal>

class QWidget;

namespace qm::widgets {

// Twips are 1/1440 inch; the window and column sizes are given in them. Rounded to the
// nearest pixel, halves away from zero, so a length and its negative stay mirror images.
int twipsToPixels(int twips, qreal dotsPerInch);
int pixelsToTwips(int pixels, qreal dotsPerInch);
// At the logical resolution of the screen the widget is on (the primary one before it is).
int twipsToPixels(int twips, const QWidget* widget);
int pixelsToTwips(int pixels, const QWidget* widget);

// Puts a top-level window in the middle of its screen. A window nobody has sized yet first
// takes the size its contents ask for, as it would when shown.
void centreOnScreen(QWidget* window);
// The same, then brings it in front of the other windows.
void raiseAndCentre(QWidget* window);
// raiseAndCentre the first time the window is shown, when its frame is known.
void raiseAndCentreWhenFirstShown(QWidget* window);

} // namespace qm::widgets
