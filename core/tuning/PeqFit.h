// The three PEQ bands of a channel fitted to a measurement, on the unit's
// own steps, with the curve the unit draws or with the bands' sound
// (tuning/BandCurves.h).
//
// The measurement is taken with the channel's bands flat (crossover, level
// and delay as they are), smoothed to 1/6 octave and read at the unit's
// frequency steps. The fit brings measurement + bands closest (least
// squares) to the target's shape over the range: the target is flat or a
// target file, and its level follows the result, since the bands are not
// there to set the channel's level. Dips narrower than about 1/3 octave are
// filled before fitting, so they are not chased with boost. No band boosts
// more than maxBoostDb or cuts more than maxCutDb, nor do the three
// together anywhere in the range.
//
// The method: a greedy start that gives each band in turn the place, width,
// shelf and gain that remove the most of what is left; a joint continuous
// optimisation of all bands between the steps (Nelder-Mead); then a search
// over the neighbouring table steps, as rounding alone leaves error behind.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "tuning/BandCurves.h"
#include "tuning/LevelCurveFile.h"
#include "tuning/PeqBands.h"

struct FitOptions {
    double lowHz = 40.0;
    double highHz = 16000.0;
    double maxBoostDb = 6.0;
    double maxCutDb = 12.0;
    std::optional<LevelCurve> target;  // flat when empty
    BandModel bandModel = BandModel::Drawn;
    // The channel's level over the range stays as measured: the target sits
    // at the measurement's mean level there and the bands may not move it
    // (a shelf reaching over the whole range would otherwise set the level).
    bool holdLevel = false;
    // Tighter limits at the unit's frequency steps (kFreqSteps of them;
    // empty: the limits above everywhere), the lesser holding: the bands
    // together boost no more than boostLimitAtStep and cut no deeper than
    // cutLimitAtStep at each step.
    std::vector<double> boostLimitAtStep{}, cutLimitAtStep{};
};

struct FitResult {
    PeqBands bands;
    double rmsBeforeDb = 0.0;  // measurement against the target, over the range
    double rmsAfterDb = 0.0;   // measurement + bands against the target
    // The continuous optimum rounded to the nearest steps, without the
    // search over neighbouring steps (for comparison).
    PeqBands roundedBands;
    double rmsRoundedDb = 0.0;
    // Per frequency step in firstStep..lastStep: the smoothed measurement,
    // the measurement with the bands (in the fit's band model), and the
    // target at the result's level.
    int firstStep = 0;
    int lastStep = 0;
    std::vector<double> measured, predicted, target;
};

// Throws std::invalid_argument for a range that is empty, limits below 0 or
// limits at steps that are not one a step,
// and TuningFileError (line 0) when the measurement covers fewer than
// kFitLeastSteps frequency steps of the range.
FitResult FitPeq(const LevelCurve& measurement, const FitOptions& options = {});

inline constexpr int kFitLeastSteps = 10;

// FitPeq's result for the bands given (a fit's with some left out) on what
// it was fitted on: the same figures, the bands not moved; throws as FitPeq.
FitResult FittedWith(const LevelCurve& measurement, const FitOptions& options, const PeqBands& bands);

// The mean of the values; 0 for none.
inline double Mean(std::span<const double> values)
{
    double sum = 0.0;
    for (const double v : values) sum += v;
    return values.empty() ? 0.0 : sum / static_cast<double>(values.size());
}

// The RMS deviation of the measurement from the options' target (its level
// following, or held), smoothed over 1/6 octave at the frequency steps of the range;
// throws as FitPeq does.
double DeviationRms(const LevelCurve& measurement, const FitOptions& options);

// The measurement at frequency step k, smoothed over 1/6 octave; empty
// outside the measured span.
std::optional<double> SmoothedAtStep(const LevelCurve& measurement, int k);
