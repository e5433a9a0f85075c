#pragma once

class QLineEdit;

namespace qm::widgets {

// A password box shows one "*" for each character typed, whatever the style's own mark.
void echoAsStars(QLineEdit* box);

} // namespace qm::widgets
