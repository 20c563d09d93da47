#include "app/controls/LabelButton.h"

#include <QPainter>

CLabelButton::CLabelButton(QWidget* parent) : QPushButton(parent) {}

CLabelButton::CLabelButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

void CLabelButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect face = rect();
    painter.fillRect(face, Qt::black);
    painter.setPen(Qt::white);
    painter.setClipRect(face);
    painter.drawText(face, Qt::AlignCenter | Qt::TextSingleLine, text());
}
