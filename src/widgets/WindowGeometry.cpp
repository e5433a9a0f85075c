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

void centreOnScreen(QWidget* window)
{
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
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
