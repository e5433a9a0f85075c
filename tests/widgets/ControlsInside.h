#pragma once

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QTabBar>
#include <QWidget>

namespace qm::test {

// The controls of a window that do not show whole at its present size: cut by its edge or by
// a frame around them, or squeezed below the height they need to draw their text.
inline QStringList clippedControls(QWidget* window)
{
    QStringList clipped;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window))
            continue;
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) ||
                             qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                             qobject_cast<QAbstractScrollArea*>(w) || qobject_cast<QTabBar*>(w);
        // A combo box's or spin box's own line edit is that box's business.
        if (!control || qobject_cast<QComboBox*>(w->parentWidget()) ||
            qobject_cast<QAbstractSpinBox*>(w->parentWidget()))
            continue;
        const QRect r(w->mapTo(window, QPoint()), w->size());
        bool whole = window->rect().contains(r);
        for (QWidget* a = w->parentWidget(); a && a != window; a = a->parentWidget()) {
            if (!QRect(a->mapTo(window, QPoint()), a->size()).contains(r))
                whole = false;
        }
        const QSize need = w->minimumSizeHint();
        // A list or text box scrolls; below its hint it is smaller, not cut.
        const bool scrolls = qobject_cast<QAbstractScrollArea*>(w) || qobject_cast<QTabBar*>(w) ||
                             qobject_cast<QAbstractScrollArea*>(w->parentWidget());
        const bool squeezed = (!scrolls && need.height() > 0 && w->height() < need.height()) ||
                              (qobject_cast<QAbstractButton*>(w) && w->width() < need.width());
        if (!whole || squeezed) {
            const QString text = qobject_cast<QAbstractButton*>(w)
                                     ? qobject_cast<QAbstractButton*>(w)->text()
                                 : qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text()
                                                            : QString();
            clipped << QStringLiteral("%1 %2 \"%3\" at %4,%5 %6x%7 (needs %8x%9)")
                           .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(),
                                text)
                           .arg(r.x())
                           .arg(r.y())
                           .arg(r.width())
                           .arg(r.height())
                           .arg(need.width())
                           .arg(need.height());
        }
    }
    return clipped;
}

} // namespace qm::test
