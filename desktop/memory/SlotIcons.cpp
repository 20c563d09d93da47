#include "memory/SlotIcons.h"

#include <QBitmap>
#include <QPainter>

namespace {

const QColor kTransparent(255, 0, 255);

// A memory chip: a body with pins on both long sides and a lamp that is lit
// when the slot holds a program. Drawn without smoothing so that no edge
// pixel mixes with the transparent colour.
void DrawChip(QPainter& painter, const QRect& cell, bool used)
{
    const int s = cell.width();
    const QRect body(cell.left() + s / 4, cell.top() + s / 8, s / 2, s * 3 / 4);
    const QColor outline = used ? QColor(0, 0, 0) : QColor(128, 128, 128);

    painter.setPen(outline);
    const int pinLength = s / 8;
    for (int y = body.top() + s / 16; y < body.bottom(); y += s / 8) {
        painter.drawLine(body.left() - pinLength, y, body.left() - 1, y);
        painter.drawLine(body.right() + 1, y, body.right() + pinLength, y);
    }
    painter.setBrush(used ? QColor(0, 0, 128) : QColor(255, 255, 255));
    painter.drawRect(body.adjusted(0, 0, -1, -1));

    const int lamp = qMax(2, s / 8);
    const QRect lampRect(body.center().x() - lamp / 2, body.top() + s / 8, lamp, lamp);
    painter.fillRect(lampRect, used ? QColor(0, 255, 0) : QColor(192, 192, 192));
}

QPixmap CutImage(const QPixmap& strip, int image, int size)
{
    QPixmap picture = strip.copy(image * size, 0, size, size);
    picture.setMask(picture.createMaskFromColor(kTransparent, Qt::MaskInColor));
    return picture;
}

}  // namespace

QPixmap SlotImageStrip(int size)
{
    QPixmap strip(2 * size, size);
    strip.fill(kTransparent);
    QPainter painter(&strip);
    DrawChip(painter, QRect(kSlotImageUsed * size, 0, size, size), true);
    DrawChip(painter, QRect(kSlotImageEmpty * size, 0, size, size), false);
    return strip;
}

QIcon SlotIcon(int image)
{
    QIcon icon;
    for (const int size : {32, 16}) {
        icon.addPixmap(CutImage(SlotImageStrip(size), image, size));
    }
    return icon;
}
