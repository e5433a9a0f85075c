#include "widgets/WindowGeometry.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace qm::widgets {

namespace {
constexpr qreal kTwipsPerInch = 1440.0;

qreal dpiOf(const QWidget* widget)
{
    const QScreen* screen =
        widget && widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

class CentreOnFirstShow : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parent() && event->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            raiseAndCentre(static_cast<QWidget*>(watched));
            deleteLater();
        }
        return false;
    }
};

int nearest(qreal value)
{
    return int(std::lround(value));
}
} // namespace

int twipsToPixels(int twips, qreal dotsPerInch)
{
    return nearest(twips * dotsPerInch / kTwipsPerInch);
}

int pixelsToTwips(int pixels, qreal dotsPerInch)
{
    return nearest(pixels * kTwipsPerInch / dotsPerInch);
}

int twipsToPixels(int twips, const QWidget* widget)
{
    return twipsToPixels(twips, dpiOf(widget));
}

int pixelsToTwips(int pixels, const QWidget* widget)
{
    return pixelsToTwips(pixels, dpiOf(widget));
}

QMargins assumedFrame()
{
    return QMargins(4, 30, 4, 4);
}

QRect fittedOnScreen(const QRect& inner, const QRect& available)
{
    const QRect room = available.marginsRemoved(assumedFrame());
    QRect r = inner;
    r.setWidth(qMin(r.width(), room.width()));
    r.setHeight(qMin(r.height(), room.height()));
    if (r.right() > room.right())
        r.moveRight(room.right());
    if (r.bottom() > room.bottom())
        r.moveBottom(room.bottom());
    if (r.left() < room.left())
        r.moveLeft(room.left());
    if (r.top() < room.top())
        r.moveTop(room.top());
    return r;
}

void placeOnScreen(QWidget* window, const QRect& saved)
{
    if (saved.isValid()) {
        for (const QScreen* screen : QGuiApplication::screens()) {
            if (screen->availableGeometry().intersects(saved)) {
                window->setGeometry(fittedOnScreen(saved, screen->availableGeometry()));
                return;
            }
        }
    }
    centreOnScreen(window);
}

void centreOnScreen(QWidget* window)
{
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect inner(QPoint(), window->size());
    inner.moveCenter(screen->availableGeometry().center());
    inner.translate(0, (assumedFrame().top() - assumedFrame().bottom()) / 2);
    window->setGeometry(fittedOnScreen(inner, screen->availableGeometry()));
}

void raiseAndCentre(QWidget* window)
{
    centreOnScreen(window);
    window->raise();
    window->activateWindow();
}

void raiseAndCentreWhenFirstShown(QWidget* window)
{
    window->installEventFilter(new CentreOnFirstShow(window));
}

} // namespace qm::widgets
