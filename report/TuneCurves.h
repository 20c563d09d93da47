// The curves of a tuning, one graph per output and one for the system: the
// output as measured before, as the proposal predicts it, and as measured
// after applying, moved together so that the measurement before lies at
// 0 dB on average over the output's own band (the tops above the crossover
// region's middle, the Sub below it, the system over the fit's range).
// Of several microphone positions each is their spatial average (the mean
// power, what the proposal was made from), and the positions of the last
// round measured (after, else before) are drawn thin behind it with their
// spread. The Tune window and the tune report draw them.
#pragma once

#include <span>
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

// Each at every position, the positions in the same order (one: a single position).
struct TuneMeasurements {
    std::span<const SystemMeasurement> before;
    std::span<const SystemMeasurement> predicted;  // may be empty: no proposal yet
    std::span<const SystemMeasurement> after;      // may be empty: not measured again yet
    CrossoverRegion region;
};

struct TuneGraph {
    std::vector<PlotCurve> curves;          // those of the three that are there, named "Before", "Predicted", "After"
    std::vector<PositionCurves> positions;  // several positions: the last round's; empty for one
};

// Throws std::invalid_argument for positions on grids that differ.
TuneGraph TuneCurves(const TuneMeasurements& measurements, TuneOutput output, const TuneCurveColours& colours);
