#pragma once

#include <functional>

class QLineEdit;

namespace qm::widgets {

// A password box shows one "*" for each character typed, whatever the style's own mark.
void echoAsStars(QLineEdit* box);

// The whole text is selected when the box gets the focus (and `when` agrees, if given), so
// typing replaces it.
void selectAllOnFocus(QLineEdit* box, std::function<bool()> when = {});

} // namespace qm::widgets
