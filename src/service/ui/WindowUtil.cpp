#include "WindowUtil.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace qm::ui {

namespace {
qreal dpiOf(const QWidget* window)
{
    const QScreen* screen =
        window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}
} // namespace

void centreOnScreen(QWidget* window)
{
    window->adjustSize();
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

int twipsToPixels(int twips, const QWidget* window)
{
    return qRound(twips * dpiOf(window) / 1440.0);
}

int pixelsToTwips(int pixels, const QWidget* window)
{
    return qRound(pixels * 1440.0 / dpiOf(window));
}

} // namespace qm::ui
