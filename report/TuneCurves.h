// The curves of a tuning, one graph per output and one for the system: the
// output as measured before, as the proposal predicts it, and as measured
// after applying, moved together so that the measurement before lies at
// 0 dB on average over the output's own band (the tops above the crossover
// region's middle, the Sub below it, the system over the fit's range).
// The Tune window and the tune report draw them.
#pragma once

#include <vector>

#include "ResponsePlot.h"
#include "tuning/CrossoverSum.h"

enum class TuneOutput { Left, Right, Sub, System };
inline constexpr TuneOutput kTuneOutputs[] = {TuneOutput::Left, TuneOutput::Right, TuneOutput::Sub,
                                              TuneOutput::System};

// "Left", "Right", "Sub", "System".
QString TuneOutputTitle(TuneOutput output);

struct TuneCurveColours {
    QColor before, predicted, after;
};
TuneCurveColours ScreenTuneColours();
TuneCurveColours PaperTuneColours();

struct TuneMeasurements {
    const SystemMeasurement* before = nullptr;
    const SystemMeasurement* predicted = nullptr;  // may be null: no proposal yet
    const SystemMeasurement* after = nullptr;      // may be null: not measured again yet
    CrossoverRegion region;
};

// Those of the three that are there, named "Before", "Predicted", "After".
std::vector<PlotCurve> TuneCurves(const TuneMeasurements& measurements, TuneOutput output,
                                  const TuneCurveColours& colours);
