#include "app/controls/RoundButton.h"

#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr double kHalfPi = 1.570796327;
constexpr double kPi = 3.141592654;

// A circle outline in one colour, or shaded between two by direction.
struct OutlineColours {
    QColor first;
    std::optional<QColor> second;
};

int ShadeComponent(int first, int second, double weight)
{
    return static_cast<int>(first * weight + second * (1.0 - weight));
}

// Draws a circle outline pixel by pixel. A dotted outline plots every other
// step of the walk, starting with the first.
void DrawOutline(QPainter& painter, QPoint centre, int radius, const OutlineColours& colours, bool dotted = false)
{
    const std::vector<QPoint> octant = MidpointOctant(radius);
    for (std::size_t step = 0; step < octant.size(); ++step) {
        if (dotted && step % 2 != 0) continue;
        const int x = octant[step].x();
        const int y = octant[step].y();
        const double a = std::atan2(y, x);
        // The eight mirrored points and their true directions from the centre.
        const struct {
            int dx, dy;
            double angle;
        } points[8] = {
            {x, y, a},         {y, x, kHalfPi - a},    {-y, x, a + kHalfPi}, {-x, y, kPi - a},
            {-x, -y, a - kPi}, {-y, -x, -a - kHalfPi}, {y, -x, a - kHalfPi}, {x, -y, -a},
        };
        for (const auto& point : points) {
            const QColor colour =
                colours.second ? RimShade(point.angle, colours.first, *colours.second) : colours.first;
            painter.setPen(colour);
            painter.drawPoint(centre.x() + point.dx, centre.y() + point.dy);
        }
    }
}

}  // namespace

std::vector<QPoint> MidpointOctant(int radius)
{
    std::vector<QPoint> steps;
    int x = radius;
    int y = 0;
    int error = -radius;
    while (y <= x) {
        steps.emplace_back(x, y);
        error += 2 * y + 1;
        ++y;
        if (error >= 0) {
            --x;
            error -= 2 * x;
        }
    }
    return steps;
}

QColor RimShade(double angle, const QColor& first, const QColor& second)
{
    double t = -2.356 - angle;
    if (t < -3.1415)
        t += 6.293;
    else if (t > 3.1415)
        t = 6.293 - t;
    const double weight = (std::cos(t) + 1.0) * 0.5;
    return QColor(ShadeComponent(first.red(), second.red(), weight),
                  ShadeComponent(first.green(), second.green(), weight),
                  ShadeComponent(first.blue(), second.blue(), weight));
}

CRoundButton::CRoundButton(QWidget* parent) : QPushButton(parent) {}

CRoundButton::CRoundButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

void CRoundButton::resizeEvent(QResizeEvent* event)
{
    QPushButton::resizeEvent(event);
    FitToCircle();
}

void CRoundButton::PlaceOn(const QRect& control)
{
    setGeometry(control);
    FitToCircle();
}

// Takes the square of the shorter side, keeps the top-left corner, and
// clips the window to the circle that fills the square.
void CRoundButton::FitToCircle()
{
    const int side = std::min(width(), height());
    centreX_ = side / 2;
    centreY_ = side / 2;
    radius_ = side / 2 - 1;
    setMask(QRegion(0, 0, side, side, QRegion::Ellipse));
    if (width() != side || height() != side) resize(side, side);
}

bool CRoundButton::hitButton(const QPoint& pos) const { return mask().contains(pos); }

void CRoundButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect face = rect();
    painter.fillRect(face, palette().color(QPalette::Button));
    painter.setClipRegion(QRegion(face).subtracted(QRegion(face, QRegion::Ellipse)));
    painter.fillRect(face, Qt::black);
    painter.setClipping(false);

    const QPoint centre(centreX_, centreY_);
    const bool focusMarks = hasFocus() && drawFocusCircle_;
    int radius = radius_;
    if (focusMarks) {
        DrawOutline(painter, centre, radius, {Qt::black, std::nullopt});
        --radius;
    }
    PaintRims(painter, radius);
    radius -= 2;
    if (!text().isEmpty()) PaintCaption(painter, radius);
    if (focusMarks) DrawOutline(painter, centre, radius - 2, {Qt::black, std::nullopt}, true);
}

// Two outlines: flat buttons get black and the highlight colour; others a
// shaded pair that looks raised, or sunken while pressed.
void CRoundButton::PaintRims(QPainter& painter, int radius) const
{
    const QPoint centre(centreX_, centreY_);
    const QPalette& colours = palette();
    if (isFlat()) {
        DrawOutline(painter, centre, radius, {Qt::black, std::nullopt});
        DrawOutline(painter, centre, radius - 1, {colours.color(QPalette::Highlight), std::nullopt});
        return;
    }
    const QColor highlight = colours.color(QPalette::Light);
    const QColor darkShadow = colours.color(QPalette::Shadow);
    const QColor light = colours.color(QPalette::Midlight);
    const QColor shadow = colours.color(QPalette::Dark);
    if (isDown()) {
        DrawOutline(painter, centre, radius, {darkShadow, highlight});
        DrawOutline(painter, centre, radius - 1, {shadow, light});
    } else {
        DrawOutline(painter, centre, radius, {highlight, darkShadow});
        DrawOutline(painter, centre, radius - 1, {light, shadow});
    }
}

// The caption centred on the circle's centre and clipped to the circle
// inside the rims; embossed when the button is disabled.
void CRoundButton::PaintCaption(QPainter& painter, int radius) const
{
    painter.setClipRegion(QRegion(centreX_ - radius, centreY_ - radius, 2 * radius, 2 * radius, QRegion::Ellipse));
    const int flags = Qt::TextShowMnemonic | Qt::TextSingleLine;
    const QSize size = painter.fontMetrics().size(flags, text());
    QRect box(QPoint(centreX_ - size.width() / 2, centreY_ - size.height() / 2), size);
    if (isDown()) box.translate(1, 1);
    if (isEnabled()) {
        painter.setPen(palette().color(QPalette::ButtonText));
        painter.drawText(box, flags, text());
    } else {
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(box.translated(1, 1), flags, text());
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawText(box, flags, text());
    }
    painter.setClipping(false);
}
