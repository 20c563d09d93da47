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

// The outputs with a response, each named and coloured, moved together so
// that the loudest lies at 0 dB on average over the fit's range.
std::vector<PlotCurve> MeasuredCurves(const MeasurementResult& measurement);

// The outputs with a response, moved together as MeasuredCurves moves them
// (the loudest average at 0 dB), each position moved with them.
std::vector<PositionCurves> PositionsCurves(const std::vector<MeasurementResult>& positions,
                                            const std::vector<OutputAverage>& averages);

class MeasuredCurvesGraph : public QWidget {
public:
    explicit MeasuredCurvesGraph(QWidget* parent);
    QSize sizeHint() const override;

    // `curves` named in the legend; of several positions, each position's
    // curve thin and faint behind them with the spread (DrawPositionCurves).
    void Show(std::vector<PlotCurve> curves, std::vector<PositionCurves> positions = {});
    // The averages named in the legend, the positions behind them.
    void ShowPositions(std::vector<PositionCurves> outputs);
    // The curves named in the legend: the outputs', or of several positions their averages.
    const std::vector<PlotCurve>& Curves() const { return curves_; }
    // Of several positions, how many curves of single positions are drawn.
    int PositionCurveCount() const;
    const std::vector<PositionCurves>& Positions() const { return positions_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
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
