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
#include "ResponsePlot.h"

// The colour each output is drawn in, on both plots.
QColor OutputColour(MeasuredOutput output);

// The outputs with a response, each named and coloured, moved together so
// that the loudest lies at 0 dB on average over the fit's range.
std::vector<PlotCurve> MeasuredCurves(const MeasurementResult& measurement);

class MeasuredCurvesGraph : public QWidget {
public:
    explicit MeasuredCurvesGraph(QWidget* parent);
    QSize sizeHint() const override;

    void Show(std::vector<PlotCurve> curves);
    const std::vector<PlotCurve>& Curves() const { return curves_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::vector<PlotCurve> curves_;
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
