#include "ProgramIcon.h"

#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace qm::ui {

namespace {
QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    // An envelope with an arrow: mail going on somewhere else.
    p.setPen(QPen(QColor(30, 60, 120), 1.5 * s));
    p.setBrush(QColor(250, 250, 235));
    const QRectF env(2 * s, 8 * s, 22 * s, 16 * s);
    p.drawRect(env);
    p.drawLine(env.topLeft(), QPointF(13 * s, 17 * s));
    p.drawLine(env.topRight(), QPointF(13 * s, 17 * s));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 40, 40));
    QPolygonF arrow;
    arrow << QPointF(18 * s, 17 * s) << QPointF(24 * s, 17 * s) << QPointF(24 * s, 13 * s)
          << QPointF(31 * s, 20 * s) << QPointF(24 * s, 27 * s) << QPointF(24 * s, 23 * s)
          << QPointF(18 * s, 23 * s);
    p.drawPolygon(arrow);
    return pixmap;
}

// The program's icon with a yellow warning sign in its top right corner.
QPixmap drawAttentionIcon(int size)
{
    QPixmap pixmap = drawIcon(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    QPolygonF sign;
    sign << QPointF(22 * s, 0.5 * s) << QPointF(31.5 * s, 16 * s) << QPointF(12.5 * s, 16 * s);
    p.setPen(QPen(QColor(90, 60, 0), 1.2 * s));
    p.setBrush(QColor(255, 200, 0));
    p.drawPolygon(sign);
    p.setPen(QPen(QColor(40, 30, 0), 2.2 * s, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(22 * s, 5.5 * s), QPointF(22 * s, 10 * s));
    p.drawPoint(QPointF(22 * s, 13.3 * s));
    return pixmap;
}
} // namespace

QIcon programIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 22, 32, 48, 64})
            i.addPixmap(drawIcon(size));
        return i;
    }();
    return icon;
}

QIcon attentionIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 22, 32, 48, 64})
            i.addPixmap(drawAttentionIcon(size));
        return i;
    }();
    return icon;
}

void applyJapaneseFont()
{
    // Proportional IPA face first; Qt takes the first family that is installed and falls
    // back per glyph after that.
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("VL PGothic"), QStringLiteral("sans-serif")});
    QApplication::setFont(font);
}

} // namespace qm::ui
