#include "dialogs/ArrowIcons.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

namespace {

QPixmap ArrowPixmap(ArrowDirection direction, int size, const QColor& colour)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const double margin = size * 0.2;
    const double tip = direction == ArrowDirection::Left ? margin : size - margin;
    const double back = direction == ArrowDirection::Left ? size - margin : margin;
    painter.drawPolygon(QPolygonF({QPointF(tip, size / 2.0), QPointF(back, margin), QPointF(back, size - margin)}));
    return pixmap;
}

}  // namespace

QIcon ArrowIcon(ArrowDirection direction, int size)
{
    QIcon icon;
    icon.addPixmap(ArrowPixmap(direction, size, QColor(0, 0, 128)), QIcon::Normal);
    icon.addPixmap(ArrowPixmap(direction, size, QColor(160, 160, 160)), QIcon::Disabled);
    return icon;
}
