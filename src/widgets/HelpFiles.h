#pragma once

#include <QString>

class QWidget;

namespace qm::widgets {

// The help shipped with the programs: the README and the manual pages as HTML, in
// share/quillmarc/help beside the programs' bin folder (/usr/share/quillmarc/help installed).
QString helpFolder();
// The page's path there ("index.html" when page is empty).
QString helpPage(const QString& page = QString());

// Opens the page in the desktop's browser. Without one (or without the files), a box says
// where the help is, so the menu never does nothing.
void openHelp(QWidget* parent, const QString& page = QString());

} // namespace qm::widgets
