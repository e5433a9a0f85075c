#pragma once

#include <QList>
#include <QStringList>

class QTreeWidget;

namespace qm::widgets {

// A report-style list: one row per item, chosen whole, columns in a fixed order with their
// widths in twips. The chosen row is highlighted only while the list has the focus.
void setUpListView(QTreeWidget* list, const QStringList& headings, const QList<int>& widthsInTwips);

} // namespace qm::widgets
