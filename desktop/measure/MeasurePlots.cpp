#include "measure/MeasurePlots.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <limits>

#include "response/GraphCurve.h"
#include "tuning/MeasurementLevels.h"

namespace {

// The span the impulse plot shows around the outputs' arrivals.
constexpr double kBeforeArrivalMs = 5.0;
constexpr double kAfterArrivalMs = 25.0;
constexpr double kTimeGridMs = 5.0;

QString OutputTitle(MeasuredOutput output)
{
    QString name = QString::fromLatin1(OutputName(output));
    name[0] = name[0].toUpper();
    return name;
}

}  // namespace

QColor OutputColour(MeasuredOutput output)
{
    const PlotStyle style = ScreenPlotStyle();
    switch (output) {
        case MeasuredOutput::Left:
            return style.leftRight;
        case MeasuredOutput::Right:
            return QColor(255, 170, 60);
        case MeasuredOutput::Sub:
            return style.sub;
        case MeasuredOutput::System:
            break;
    }
    return QColor(235, 235, 235);
}

std::vector<PlotCurve> MeasuredCurves(const MeasurementResult& measurement)
{
    std::vector<PlotCurve> curves;
    double loudest = -std::numeric_limits<double>::infinity();
    for (const OutputResult& output : measurement.outputs) {
        if (output.response.hz.empty()) continue;
        PlotCurve curve{OutputTitle(output.output), OutputColour(output.output),
                        UnshiftedMeasurementLevels({output.response.hz, output.response.db})};
        loudest = std::max(loudest, FitRangeMean(curve.levels));
        curves.push_back(std::move(curve));
    }
    for (PlotCurve& curve : curves)
        for (double& level : curve.levels) level -= loudest;
    return curves;
}

std::vector<PositionCurves> PositionsCurves(const std::vector<MeasurementResult>& positions,
                                            const std::vector<OutputAverage>& averages)
{
    std::vector<PositionCurves> outputs;
    double loudest = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < averages.size(); ++i) {
        const SpatialAverage& average = averages[i].response;
        if (average.hz.empty()) continue;
        PositionCurves output{{OutputTitle(averages[i].output), OutputColour(averages[i].output),
                               UnshiftedMeasurementLevels({average.hz, average.db})},
                              {},
                              UnshiftedMeasurementLevels({average.hz, average.spreadDb})};
        for (const MeasurementResult& position : positions) {
            const FrequencyResponse& response = position.outputs.at(i).response;
            if (!response.hz.empty()) output.positions.push_back(UnshiftedMeasurementLevels({response.hz, response.db}));
        }
        loudest = std::max(loudest, FitRangeMean(output.average.levels));
        outputs.push_back(std::move(output));
    }
    for (PositionCurves& output : outputs) {
        for (double& level : output.average.levels) level -= loudest;
        for (ResponseCurve& position : output.positions)
            for (double& level : position) level -= loudest;
    }
    return outputs;
}

MeasuredCurvesGraph::MeasuredCurvesGraph(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(kGraphWidth, kGraphHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize MeasuredCurvesGraph::sizeHint() const { return QSize(2 * kGraphWidth, 2 * kGraphHeight); }

void MeasuredCurvesGraph::Show(std::vector<PlotCurve> curves, std::vector<PositionCurves> positions)
{
    curves_ = std::move(curves);
    positions_ = std::move(positions);
    update();
}

void MeasuredCurvesGraph::ShowPositions(std::vector<PositionCurves> outputs)
{
    std::vector<PlotCurve> averages;
    for (const PositionCurves& output : outputs) averages.push_back(output.average);
    Show(std::move(averages), std::move(outputs));
}

int MeasuredCurvesGraph::PositionCurveCount() const
{
    int count = 0;
    for (const PositionCurves& output : positions_) count += static_cast<int>(output.positions.size());
    return count;
}

void MeasuredCurvesGraph::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    DrawResponsePlot(painter, rect(), curves_, ScreenPlotStyle());
    DrawPositionCurves(painter, rect(), curves_.size() > 1, positions_, ScreenPlotStyle());
}

ImpulsePlot::ImpulsePlot(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(kGraphWidth / 2, kGraphHeight / 2);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

QSize ImpulsePlot::sizeHint() const { return QSize(kGraphWidth, kGraphHeight); }

void ImpulsePlot::Show(const MeasurementResult& measurement)
{
    outputs_.clear();
    double first = std::numeric_limits<double>::infinity(), last = -first;
    for (const OutputResult& output : measurement.outputs) {
        if (output.impulse.samples.empty()) continue;
        float peak = 0.0f;
        for (float sample : output.impulse.samples) peak = std::max(peak, std::abs(sample));
        outputs_.push_back({output.output, output.impulse, peak > 0.0f ? peak : 1.0f});
        first = std::min(first, output.arrivalMs);
        last = std::max(last, output.arrivalMs);
    }
    fromMs_ = first - kBeforeArrivalMs;
    toMs_ = last + kAfterArrivalMs;
    update();
}

void ImpulsePlot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const PlotStyle style = ScreenPlotStyle();
    painter.fillRect(rect(), style.background);
    if (outputs_.empty()) return;
    const QFontMetricsF metrics(font());
    const QRectF plot = QRectF(rect()).adjusted(metrics.averageCharWidth(), metrics.height() / 2,
                                                -metrics.averageCharWidth(), -1.5 * metrics.height());
    const auto x = [&](double ms) { return plot.left() + (ms - fromMs_) / (toMs_ - fromMs_) * plot.width(); };
    const auto y = [&](float sample, float peak) { return plot.center().y() - sample / peak * plot.height() / 2; };

    painter.setPen(QPen(style.grid, style.gridWidth));
    for (double ms = std::ceil(fromMs_ / kTimeGridMs) * kTimeGridMs; ms <= toMs_; ms += kTimeGridMs) {
        painter.drawLine(QPointF(x(ms), plot.top()), QPointF(x(ms), plot.bottom()));
        const QString label = QStringLiteral("%1 ms").arg(ms + 0.0, 0, 'f', 0);  // no "-0"
        const double left = x(ms) - metrics.horizontalAdvance(label) / 2;
        if (left < rect().left() || left + metrics.horizontalAdvance(label) > rect().right()) continue;
        painter.save();
        painter.setPen(style.labels);
        painter.drawText(QPointF(left, plot.bottom() + metrics.height()), label);
        painter.restore();
    }
    painter.setPen(QPen(style.frame, style.gridWidth));
    painter.drawLine(QPointF(plot.left(), plot.center().y()), QPointF(plot.right(), plot.center().y()));
    painter.drawRect(plot);

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(plot);
    for (const Drawn& drawn : outputs_) {
        const ImpulseResponse& impulse = drawn.impulse;
        QPolygonF line;
        for (std::size_t i = 0; i < impulse.samples.size(); ++i) {
            const double ms = impulse.SecondsAt(static_cast<double>(i)) * 1000.0;
            if (ms >= fromMs_ && ms <= toMs_) line << QPointF(x(ms), y(impulse.samples[i], drawn.peak));
        }
        painter.setPen(QPen(OutputColour(drawn.output), 1.5));
        painter.drawPolyline(line);
    }
}
