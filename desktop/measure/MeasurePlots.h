// The Measure window's two plots: the responses of every output measured on
// the response graph (ResponsePlot.h, the response window's look), their
// levels against each other kept, and a small plot of the impulse responses
// around their arrivals, on the sequence's one time base, each to its own
// peak (a Sub's slow impulse would be a flat line beside a top's spike).
#pragma once

#include <QColor>
#include <QWidget>

#include <vector>

#include "Measurement.h"
#include "PositionsMeasurement.h"
#include "ResponsePlot.h"

// The colour each output is drawn in, on both plots.
QColor OutputColour(MeasuredOutput output);

// A curve drawn thin in `colour` (with its alpha) into a plot's layout, not
// named in its legend: a single position behind the average, the live
// curve where its coherence is low.
void DrawThinCurve(QPainter& painter, const PlotLayout& layout, const ResponseCurve& levels, const QColor& colour);

// The outputs with a response, each named and coloured, moved together so
// that the loudest lies at 0 dB on average over the fit's range.
std::vector<PlotCurve> MeasuredCurves(const MeasurementResult& measurement);

// One output over several positions: its spatial average (named in the
// legend), each position's curve beside it, and the spread at each point.
struct PositionCurves {
    PlotCurve average;
    std::vector<ResponseCurve> positions;
    ResponseCurve spreadDb;
};

// The outputs with a response, moved together as MeasuredCurves moves them
// (the loudest average at 0 dB), each position moved with them.
std::vector<PositionCurves> PositionsCurves(const std::vector<MeasurementResult>& positions,
                                            const std::vector<OutputAverage>& averages);

class MeasuredCurvesGraph : public QWidget {
public:
    explicit MeasuredCurvesGraph(QWidget* parent);
    QSize sizeHint() const override;

    void Show(std::vector<PlotCurve> curves);
    // Each position's curve thin and faint behind the averages, and the
    // spread filled up from the plot's floor on the level scale (3 dB a grid line).
    void ShowPositions(std::vector<PositionCurves> outputs);
    // The curves named in the legend: the outputs', or of several positions their averages.
    const std::vector<PlotCurve>& Curves() const { return curves_; }
    // Of several positions, how many curves of single positions are drawn.
    int PositionCurveCount() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void DrawPositions(QPainter& painter) const;

    std::vector<PlotCurve> curves_;
    std::vector<PositionCurves> positions_;
};

class ImpulsePlot : public QWidget {
public:
    explicit ImpulsePlot(QWidget* parent);
    QSize sizeHint() const override;

    void Show(const MeasurementResult& measurement);
    // How many impulse responses it draws.
    int Count() const { return static_cast<int>(outputs_.size()); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    struct Drawn {
        MeasuredOutput output;
        ImpulseResponse impulse;
        float peak;  // its largest magnitude, drawn full height
    };
    std::vector<Drawn> outputs_;  // those with an impulse response
    double fromMs_ = 0.0, toMs_ = 0.0;
};
