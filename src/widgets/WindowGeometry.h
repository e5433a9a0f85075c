#pragma once

#include <QMargins>
#include <QRect>
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

// The frame the window manager adds around a window, before the window is shown and its real
// frame is known: enough for a title bar.
QMargins assumedFrame();
// A window's inner rectangle moved (and, only if it is larger, shrunk) so that it and its
// frame lie wholly inside the screen's available area.
QRect fittedOnScreen(const QRect& inner, const QRect& available);

// Where a window first opens: `saved` (its inner rectangle as last closed) when that still
// lies on a screen, moved wholly onto it; otherwise, or when nothing was saved (an invalid
// rectangle), at its present size in the middle of the primary screen.
void placeOnScreen(QWidget* window, const QRect& saved = QRect());

// Puts a top-level window in the middle of its screen. A window nobody has sized yet first
// takes the size its contents ask for, as it would when shown.
void centreOnScreen(QWidget* window);
// The same, then brings it in front of the other windows.
void raiseAndCentre(QWidget* window);
// raiseAndCentre the first time the window is shown, when its frame is known.
void raiseAndCentreWhenFirstShown(QWidget* window);

} // namespace qm::widgets
