#include "widgets/ListView.h"

#include "widgets/WindowGeometry.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace qm::widgets {

void setUpListView(QTreeWidget* list, const QStringList& headings, const QList<int>& widthsInTwips)
{
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setColumnCount(int(headings.size()));
    list->setHeaderLabels(headings);
    list->header()->setSectionsMovable(false);
    list->header()->setStretchLastSection(true);
    for (int i = 0; i < widthsInTwips.size(); ++i)
        list->setColumnWidth(i, twipsToPixels(widthsInTwips[i], list));

    QPalette palette = list->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Inactive, QPalette::Base));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Inactive, QPalette::Text));
    list->setPalette(palette);
}

} // namespace qm::widgets
