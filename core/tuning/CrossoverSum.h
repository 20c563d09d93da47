// Where tops and Sub cross, and how their sum holds up there.
#pragma once

#include <optional>
#include <vector>

#include "model/Model.h"
#include "tuning/SystemMeasurement.h"

struct CrossoverRegion {
    double lowHz = 0.0;
    double highHz = 0.0;
    bool fromSettings = false;  // else from where the measured tops and Sub cross

    // The middle of the region on the octave scale: where a channel's band
    // ends for its own fit and levels.
    double CentreHz() const;
};

// From Left & Right's high-pass (when their crossover is switched in) and the
// Sub's low-pass: half an octave below the lower of the two corners to half
// an octave above the higher (one corner alone when the other is flat).
// Both flat: the same half octave around the frequency that best splits the
// measurement into the Sub louder below it and the tops (both together)
// louder above it, between 20 Hz and 1 kHz, with the Sub's level changed by
// `subChangeDb` (that split moves with the Sub's level: the region of a
// proposal is found with the level it proposes).
CrossoverRegion FindCrossoverRegion(const ParameterModel& setting, const SystemMeasurement& measurement,
                                    double subChangeDb = 0.0);
// The region as the crossover settings give it; nothing when both are flat.
std::optional<CrossoverRegion> SettingsCrossoverRegion(const ParameterModel& setting);

// The sum of tops and Sub over a region's points of the grid.
struct SumFigures {
    double meanDb = 0.0;  // the mean level of the sum, on the octave scale (the grid's)
    double minDb = 0.0;
    // The lowest level of the sum less the louder of tops and Sub at that
    // frequency: 0 where they add in phase and equal, minus many dB at a null.
    double deepestDipDb = 0.0;
    double deepestDipHz = 0.0;
};

// Throws std::invalid_argument when the region holds no point of the grid.
SumFigures SumOver(const CrossoverRegion& region, const std::vector<double>& hz, const std::vector<Complex>& tops,
                   const std::vector<Complex>& sub, const std::vector<Complex>& sum);
// Of a measurement: both tops and the Sub, and their sum as the system
// output holds it (or, where the measurement has none, as their complex sum).
SumFigures SumOver(const CrossoverRegion& region, const SystemMeasurement& measurement);
