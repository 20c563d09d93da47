#include "ResponsePlot.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

#include "model/Model.h"
#include "response/GraphCurve.h"

namespace {

const char* const kWidestLevelLabel = "-15";
const char* const kWidestEdgeFrequencyLabel = "20k";
// How much of its output's colour a single position's curve and the
// spread's fill keep: the averages stand out in front of them.
constexpr int kPositionAlpha = 120;
constexpr int kSpreadAlpha = 70;

QPen LinePen(const QColor& colour, double width)
{
    QPen pen(colour, width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void DrawGrid(QPainter& painter, const PlotLayout& layout, const PlotStyle& style)
{
    painter.setPen(LinePen(style.grid, style.gridWidth));
    for (int row = kPlotTop; row <= kPlotBottom; row += kLevelGridRows)
        painter.drawLine(layout.Map(kPlotLeft, row), layout.Map(kPlotRight, row));
    for (const FrequencyGridLine& line : kFrequencyGrid)
        painter.drawLine(layout.Map(line.x, kPlotTop), layout.Map(line.x, kPlotBottom));
    painter.setPen(LinePen(style.frame, style.gridWidth));
    painter.drawLine(layout.Map(kPlotLeft, kZeroDbY), layout.Map(kPlotRight, kZeroDbY));
    painter.drawRect(layout.Plot());
}

// Text centred on `at` horizontally, its top at `at`'s row.
void DrawCentredBelow(QPainter& painter, const QString& text, QPointF at)
{
    const QFontMetricsF metrics(painter.font(), painter.device());
    painter.drawText(QPointF(at.x() - metrics.horizontalAdvance(text) / 2, at.y() + metrics.ascent()), text);
}

// Text ending at `at` horizontally, centred on its row.
void DrawRightAlignedAt(QPainter& painter, const QString& text, QPointF at)
{
    const QFontMetricsF metrics(painter.font(), painter.device());
    const double baseline = at.y() + (metrics.ascent() - metrics.descent()) / 2;
    painter.drawText(QPointF(at.x() - metrics.horizontalAdvance(text), baseline), text);
}

void DrawLabels(QPainter& painter, const PlotLayout& layout, const PlotStyle& style)
{
    const QFontMetricsF metrics(painter.font(), painter.device());
    const double gap = metrics.averageCharWidth() / 2;
    painter.setPen(style.labels);
    for (int row = kPlotTop; row <= kPlotBottom; row += kLevelGridRows)
        DrawRightAlignedAt(painter, QString::number(RowLevel(row)), layout.Map(kPlotLeft, row) - QPointF(gap, 0));
    const double labelTop = layout.Plot().bottom() + gap / 2;
    // The lowest frequency starts at the left edge, clear of the lowest level's label.
    const QString lowest = QString::fromLatin1(kLowestFrequencyLabel);
    DrawCentredBelow(painter, lowest, QPointF(layout.Plot().left() + metrics.horizontalAdvance(lowest) / 2, labelTop));
    for (const FrequencyGridLine& line : kFrequencyGrid)
        DrawCentredBelow(painter, QString::fromLatin1(line.label),
                         QPointF(layout.Map(line.x, kPlotBottom).x(), labelTop));
}

void DrawCurve(QPainter& painter, const PlotLayout& layout, const PlotCurve& curve, const PlotStyle& style)
{
    painter.setPen(LinePen(curve.colour, style.curveWidth));
    for (const std::vector<GraphPoint>& run : CurveRuns(curve.levels)) {
        QPolygonF line;
        for (const GraphPoint& point : run) line << layout.Map(point.x, point.y);
        painter.drawPolyline(line);
    }
}

// The curves' names, each after a short stroke of its colour, right-aligned
// above the plot.
void DrawLegend(QPainter& painter, const PlotLayout& layout, std::span<const PlotCurve> curves, const PlotStyle& style)
{
    const QFontMetricsF metrics(painter.font(), painter.device());
    const double em = metrics.height();
    const double baseline = layout.Plot().top() - em / 2;
    const double strokeY = baseline - (metrics.ascent() - metrics.descent()) / 2;
    double right = layout.Plot().right();
    for (auto curve = curves.rbegin(); curve != curves.rend(); ++curve) {
        const double textLeft = right - metrics.horizontalAdvance(curve->name);
        painter.setPen(style.labels);
        painter.drawText(QPointF(textLeft, baseline), curve->name);
        painter.setPen(LinePen(curve->colour, style.curveWidth));
        painter.drawLine(QPointF(textLeft - 2.0 * em, strokeY), QPointF(textLeft - 0.4 * em, strokeY));
        right = textLeft - 3.2 * em;
    }
}

}  // namespace

PlotStyle ScreenPlotStyle()
{
    return {.background = QColor(0, 0, 0),
            .grid = QColor(55, 155, 55),
            .frame = QColor(0, 255, 0),
            .labels = QColor(255, 255, 0),
            .leftRight = QColor(255, 60, 60),
            .sub = QColor(80, 190, 255),
            .gridWidth = 1.0,
            .curveWidth = 2.0};
}

PlotStyle PaperPlotStyle(int dotsPerInch)
{
    const double perMm = dotsPerInch / 25.4;
    return {.background = QColor(255, 255, 255),
            .grid = QColor(205, 205, 205),
            .frame = QColor(110, 110, 110),
            .labels = QColor(60, 60, 60),
            .leftRight = QColor(200, 30, 30),
            .sub = QColor(20, 90, 200),
            .gridWidth = 0.15 * perMm,
            .curveWidth = 0.45 * perMm};
}

PlotCurve ChannelCurve(const ParameterModel& model, int slot, const PlotStyle& style)
{
    const bool sub = slot == kSlotSub;
    return {sub ? QStringLiteral("Sub") : QStringLiteral("Left&Right"), sub ? style.sub : style.leftRight,
            ComputeResponse(model, slot)};
}

std::vector<PlotCurve> ChannelCurves(const ParameterModel& model, const PlotStyle& style)
{
    return {ChannelCurve(model, kSlotLeftRight, style), ChannelCurve(model, kSlotSub, style)};
}

PlotLayout::PlotLayout(const QRectF& area, const QFontMetricsF& metrics, bool legend)
{
    const double em = metrics.height();
    const double left = metrics.horizontalAdvance(QString::fromLatin1(kWidestLevelLabel)) + metrics.averageCharWidth();
    const double right = metrics.horizontalAdvance(QString::fromLatin1(kWidestEdgeFrequencyLabel)) / 2 + em / 4;
    const double top = legend ? 1.6 * em : em / 2 + 1;
    const double bottom = 1.3 * em;
    plot_ = area.adjusted(left, top, -right, -bottom);
}

QPointF PlotLayout::Map(double column, double row) const
{
    return {plot_.left() + (column - kPlotLeft) * plot_.width() / (kPlotRight - kPlotLeft),
            plot_.top() + (row - kPlotTop) * plot_.height() / (kPlotBottom - kPlotTop)};
}

void DrawResponsePlot(QPainter& painter, const QRectF& area, std::span<const PlotCurve> curves, const PlotStyle& style)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    const bool legend = curves.size() > 1;
    const PlotLayout layout(area, QFontMetricsF(painter.font(), painter.device()), legend);
    painter.fillRect(area, style.background);
    DrawGrid(painter, layout, style);
    DrawLabels(painter, layout, style);
    if (legend) DrawLegend(painter, layout, curves, style);
    for (const PlotCurve& curve : curves) DrawCurve(painter, layout, curve, style);
    painter.restore();
}

void DrawThinCurve(QPainter& painter, const PlotLayout& layout, const ResponseCurve& levels, const QColor& colour,
                   double width)
{
    painter.setPen(QPen(colour, width));
    for (const std::vector<GraphPoint>& run : CurveRuns(levels)) {
        QPolygonF line;
        for (const GraphPoint& point : run) line << layout.Map(point.x, point.y);
        painter.drawPolyline(line);
    }
}

void DrawPositionCurves(QPainter& painter, const QRectF& area, bool legend, std::span<const PositionCurves> outputs,
                        const PlotStyle& style)
{
    const PlotLayout layout(area, QFontMetricsF(painter.font(), painter.device()), legend);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(layout.Plot());
    for (const PositionCurves& output : outputs) {
        QColor faint = output.average.colour;
        faint.setAlpha(kPositionAlpha);
        for (const ResponseCurve& position : output.positions)
            DrawThinCurve(painter, layout, position, faint, style.gridWidth);
        QPolygonF spread;
        spread << layout.Map(StepColumn(1), kPlotBottom);
        for (int step = 1; step < kFreqSteps; ++step) {
            const double db = output.spreadDb[static_cast<std::size_t>(step)];
            const double row = std::isfinite(db) ? kPlotBottom - (LevelRow(0.0) - LevelRow(db)) : kPlotBottom;
            spread << layout.Map(StepColumn(step), std::max(row, double(kPlotTop)));
        }
        spread << layout.Map(StepColumn(kFreqSteps - 1), kPlotBottom);
        QColor fill = output.average.colour;
        fill.setAlpha(kSpreadAlpha);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawPolygon(spread);
    }
    painter.restore();
}
