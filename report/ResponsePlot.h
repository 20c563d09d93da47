// The response graph at any size: the page graph's grids, labels and frame
// mapped onto a rectangle of any paint device, with the curves as smooth
// lines cut to the plot area (by the geometry itself, since not every paint
// device clips: the SVG generator does not). The response window, its picture exports
// and the settings report draw with it.
#pragma once

#include <QColor>
#include <QFontMetricsF>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <span>
#include <vector>

#include "response/Response.h"

class QPainter;
struct ParameterModel;

struct PlotCurve {
    QString name;
    QColor colour;
    ResponseCurve levels;
};

// Colours and line widths (in the paint device's pixels) of a plot.
struct PlotStyle {
    QColor background, grid, frame, labels;
    QColor leftRight, sub;  // the channels' curves
    double gridWidth = 1.0;
    double curveWidth = 2.0;
};

// The page graph's look: black, green grid, yellow labels.
PlotStyle ScreenPlotStyle();
// Dark lines on white for print, sized for a device of the given resolution.
PlotStyle PaperPlotStyle(int dotsPerInch);

// The curve of one channel slot of the model, named and coloured by the style.
PlotCurve ChannelCurve(const ParameterModel& model, int slot, const PlotStyle& style);
// Left&Right, then Sub.
std::vector<PlotCurve> ChannelCurves(const ParameterModel& model, const PlotStyle& style);

// Where a plot drawn into `area` with label font metrics `metrics` puts the
// graph: the plot area after the label margins (and, with a legend, a line
// for it on top), and the mapping of graph coordinates into it.
class PlotLayout {
public:
    PlotLayout(const QRectF& area, const QFontMetricsF& metrics, bool legend);
    QRectF Plot() const { return plot_; }
    QPointF Map(double column, double row) const;

private:
    QRectF plot_;
};

// Draws the plot into `area`, the labels in the painter's font; with more
// than one curve, a legend of their names above the plot.
void DrawResponsePlot(QPainter& painter, const QRectF& area, std::span<const PlotCurve> curves, const PlotStyle& style);

// A curve drawn thin in `colour` (with its alpha) into a plot's layout, not
// named in its legend: a single position behind the average, the live
// curve where its coherence is low.
void DrawThinCurve(QPainter& painter, const PlotLayout& layout, const ResponseCurve& levels, const QColor& colour,
                   double width = 1.0);

// One output over several microphone positions: its spatial average (named
// in the legend), each position's curve beside it, and the spread (the
// loudest position less the quietest) at each point.
struct PositionCurves {
    PlotCurve average;
    std::vector<ResponseCurve> positions;
    ResponseCurve spreadDb;
};

// Over a plot DrawResponsePlot drew into `area` (`legend`: with its legend
// line): each position's curve thin and faint in its average's colour, and
// the spread filled up from the plot's floor on the level scale (3 dB a
// grid line), so that the averages stand out in front of them.
void DrawPositionCurves(QPainter& painter, const QRectF& area, bool legend, std::span<const PositionCurves> outputs,
                        const PlotStyle& style);
