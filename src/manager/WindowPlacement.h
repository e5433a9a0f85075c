#pragma once

class QWidget;

namespace qm::manager {

// Raises a top-level window and puts it in the middle of its screen.
void raiseAndCentre(QWidget* window);

// Column widths of the list are given in twips (1/1440 inch).
int twipsToPixels(int twips, const QWidget* widget);

} // namespace qm::manager
