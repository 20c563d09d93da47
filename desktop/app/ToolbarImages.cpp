#include "app/ToolbarImages.h"

#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kOutline(0, 0, 0);
const QColor kMetal(192, 192, 192);
const QColor kCable(0, 0, 128);

// A plug seen from the side: cable from the left, body, two prongs.
void DrawPlug(QPainter& p, int bodyX)
{
    p.setPen(kCable);
    p.drawLine(0, 7, bodyX - 1, 7);
    p.setPen(kOutline);
    p.setBrush(kMetal);
    p.drawRect(bodyX, 4, 4, 6);
    p.drawLine(bodyX + 5, 5, bodyX + 7, 5);
    p.drawLine(bodyX + 5, 9, bodyX + 7, 9);
}

// A socket seen from the side, open to the left, cable leaving to the right.
void DrawSocket(QPainter& p, int bodyX)
{
    p.setPen(kOutline);
    p.setBrush(QColor(128, 128, 128));
    p.drawRect(bodyX, 3, 3, 8);
    p.setPen(kCable);
    p.drawLine(bodyX + 4, 7, 15, 7);
}

void DrawConnect(QPainter& p)
{
    DrawPlug(p, 4);
    DrawSocket(p, 12);
    p.setPen(QColor(0, 160, 0));
    p.drawLine(5, 13, 14, 13);
}

void DrawDisconnect(QPainter& p)
{
    DrawPlug(p, 1);
    DrawSocket(p, 12);
    p.setPen(QColor(200, 0, 0));
    p.drawLine(9, 1, 11, 13);
}

// A nine-pin D connector face.
void DrawRs232(QPainter& p)
{
    QPainterPath shell;
    shell.moveTo(0.5, 3.5);
    shell.lineTo(15.5, 3.5);
    shell.lineTo(13.5, 11.5);
    shell.lineTo(2.5, 11.5);
    shell.closeSubpath();
    p.setPen(kOutline);
    p.setBrush(kMetal);
    p.drawPath(shell);
    p.setPen(kCable);
    for (int x = 3; x <= 13; x += 2) p.drawPoint(x, 6);
    for (int x = 4; x <= 12; x += 2) p.drawPoint(x, 9);
}

// A memory chip with legs on both long sides.
void DrawMemory(QPainter& p)
{
    p.setPen(kOutline);
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(2, 4, 11, 6);
    for (int x = 3; x <= 12; x += 2) {
        p.drawLine(x, 2, x, 3);
        p.drawLine(x, 11, x, 12);
    }
    p.setPen(Qt::white);
    p.drawPoint(4, 6);
}

// A question mark in a blue disc.
void DrawAbout(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 64, 192));
    p.drawEllipse(QRectF(1, 0, 14, 14));
    QFont font = p.font();
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(1, 0, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
}

}  // namespace

QPixmap DrawToolbarImage(ToolbarImage image)
{
    QPixmap pixmap(kToolbarImageWidth, kToolbarImageHeight);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    switch (image) {
        case ToolbarImage::Connect:
            DrawConnect(painter);
            break;
        case ToolbarImage::Disconnect:
            DrawDisconnect(painter);
            break;
        case ToolbarImage::Rs232:
            DrawRs232(painter);
            break;
        case ToolbarImage::Memory:
            DrawMemory(painter);
            break;
        case ToolbarImage::About:
            DrawAbout(painter);
            break;
    }
    return pixmap;
}

QIcon ProgramIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(kOutline);
    p.setBrush(QColor(30, 30, 30));
    p.drawRect(1, 8, 29, 16);
    p.setPen(QColor(0, 200, 0));
    p.drawLine(4, 20, 10, 12);
    p.drawLine(10, 12, 16, 18);
    p.drawLine(16, 18, 22, 11);
    p.setBrush(kMetal);
    p.setPen(kOutline);
    for (int x = 24; x <= 27; x += 3) p.drawEllipse(x - 1, 13, 2, 2);
    return QIcon(pixmap);
}
