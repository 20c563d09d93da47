#include "app/controls/FrameButton.h"

#include <QPainter>

CFrameButton::CFrameButton(QWidget* parent) : QPushButton(parent) {}

CFrameButton::CFrameButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

void CFrameButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect face = rect();
    painter.fillRect(face, Qt::white);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(face.adjusted(0, 0, -1, -1));

    const QRect textRect = isDown() ? face.translated(1, 1) : face;
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.setClipRect(face);
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text());
}
