#include "graph/ResponseGraph.h"

#include <QFont>
#include <QFontMetrics>

#include <algorithm>
#include <cstdlib>

#include "ResponsePlot.h"
#include "model/Scales.h"
#include "response/GraphCurve.h"
#include "response/Response.h"

namespace {

// The look the response window shares.
const PlotStyle kLook = ScreenPlotStyle();
const QRgb kBackground = kLook.background.rgb();
const QRgb kGridColour = kLook.grid.rgb();
const QRgb kFrameColour = kLook.frame.rgb();
const QColor kLabelColour = kLook.labels;

// Direct access to the pixels of the 32-bit image being drawn.
class Canvas {
public:
    explicit Canvas(QImage& image)
        : bits_(reinterpret_cast<QRgb*>(image.bits())),
          stride_(image.bytesPerLine() / int(sizeof(QRgb))),
          width_(image.width()),
          height_(image.height())
    {
    }
    void Put(int x, int y, QRgb colour)
    {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) bits_[y * stride_ + x] = colour;
    }

private:
    QRgb* bits_;
    int stride_;
    int width_;
    int height_;
};

// Bresenham's line from `from` towards `to`, leaving the end point itself
// unpainted, so that a polyline paints each joint exactly once. (Qt's own
// one-pixel lines drop the lower or right end whatever the direction.)
void DrawLineWithoutEnd(Canvas& canvas, QPoint from, QPoint to, QRgb colour)
{
    const int dx = std::abs(to.x() - from.x());
    const int dy = -std::abs(to.y() - from.y());
    const int sx = from.x() < to.x() ? 1 : -1;
    const int sy = from.y() < to.y() ? 1 : -1;
    int error = dx + dy;
    int x = from.x();
    int y = from.y();
    while (x != to.x() || y != to.y()) {
        canvas.Put(x, y, colour);
        const int doubled = 2 * error;
        if (doubled >= dy) {
            error += dy;
            x += sx;
        }
        if (doubled <= dx) {
            error += dx;
            y += sy;
        }
    }
}

QFont LabelFont()
{
    QFont font(QStringLiteral("Microsoft Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.2);
    return font;
}

void DrawLabel(QPainter& painter, const QString& text, int left, int top)
{
    painter.drawText(QPoint(left, top + painter.fontMetrics().ascent()), text);
}

void DrawRightAlignedLabel(QPainter& painter, const QString& text, int right, int top)
{
    DrawLabel(painter, text, right - painter.fontMetrics().horizontalAdvance(text), top);
}

void DrawGrid(Canvas& canvas)
{
    for (int y = kPlotTop; y <= kPlotBottom; y += kLevelGridRows)
        DrawLineWithoutEnd(canvas, {kPlotLeft, y}, {kPlotRight, y}, kGridColour);
    for (const FrequencyGridLine& line : kFrequencyGrid)
        DrawLineWithoutEnd(canvas, {line.x, kPlotTop}, {line.x, kPlotBottom}, kGridColour);
}

// The labels lie outside the plot area, so they never overlap the grid.
void DrawLabels(QImage& image)
{
    QPainter painter(&image);
    painter.setFont(LabelFont());
    painter.setPen(kLabelColour);
    for (int y = kPlotTop; y <= kPlotBottom; y += kLevelGridRows)
        DrawRightAlignedLabel(painter, QString::number(RowLevel(y)), 45, y - 7);
    DrawRightAlignedLabel(painter, QString::fromLatin1(kLowestFrequencyLabel), 56, 170);
    for (const FrequencyGridLine& line : kFrequencyGrid) {
        const QString label = QString::fromLatin1(line.label);
        DrawLabel(painter, label, line.x - 3 * static_cast<int>(label.size()), 170);
    }
}

void DrawFrame(Canvas& canvas)
{
    DrawLineWithoutEnd(canvas, {kPlotLeft, kZeroDbY}, {kPlotRight, kZeroDbY}, kFrameColour);
    const QPoint corners[] = {{kPlotLeft, kPlotTop},
                              {kPlotLeft, kPlotBottom},
                              {kPlotRight, kPlotBottom},
                              {kPlotRight, kPlotTop},
                              {kPlotLeft, kPlotTop}};
    for (int i = 0; i + 1 < 5; ++i) DrawLineWithoutEnd(canvas, corners[i], corners[i + 1], kFrameColour);
}

void DrawCurve(Canvas& canvas, std::span<const double> response, QRgb colour)
{
    for (const CurveSegment& segment : CurveSegments(response))
        DrawLineWithoutEnd(canvas, QPoint(segment.x0, segment.y0), QPoint(segment.x1, segment.y1), colour);
}

}  // namespace

QImage RenderResponseImage(std::span<const double> response, const QColor& curveColour)
{
    QImage image(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
    image.fill(kBackground);
    DrawLabels(image);
    Canvas canvas(image);
    DrawGrid(canvas);
    DrawFrame(canvas);
    DrawCurve(canvas, response, curveColour.rgb());
    return image;
}

void DrawResponseGraph(QPainter& target, const ParameterModel& model, int slot, const QRect& graphRect,
                       const QPen& curvePen)
{
    const auto response = ComputeResponse(model, slot);
    const QImage image = RenderResponseImage(response, curvePen.color());
    if (graphRect.width() > kGraphWidth && graphRect.height() > kGraphHeight) {
        const int right = graphRect.left() + graphRect.width();
        const int bottom = graphRect.top() + graphRect.height();
        const int left = (graphRect.left() + right - kGraphWidth) / 2;
        const int top = (graphRect.top() + bottom - kGraphHeight) / 2;
        target.drawImage(QPoint(left, top), image);
    } else if (graphRect.width() > 0 && graphRect.height() > 0) {
        target.drawImage(graphRect, image);
    }
}
