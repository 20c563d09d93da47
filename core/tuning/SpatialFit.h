// Several microphone positions of one system: what they share and where
// they disagree. A response differs from one seat to the next by several dB
// (most at the room's modes and where Left and Right interfere), so a
// correction is fitted on their average, and only as far as they agree: no
// boost where they disagree by more than kPositionsDisagreeDb (a dip at one
// seat is not filled at the others' expense), and no cut deeper than
// kUnsharedCutDb where not every position has the peak.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "tuning/PeqFit.h"
#include "tuning/SystemMeasurement.h"

inline constexpr double kPositionsDisagreeDb = 6.0;
inline constexpr double kUnsharedCutDb = 3.0;

struct SpatialLevels {
    LevelCurve mean;               // the mean power over the positions, at each point
    std::vector<double> spreadDb;  // the loudest position less the quietest, at each point
};

// Throws std::invalid_argument for no position, or positions on grids that differ.
SpatialLevels LevelsOverPositions(std::span<const LevelCurve> positions);

// One output's levels at each position, `output` taking it from a position
// (an output of its own, or one made of several: the system).
std::vector<LevelCurve> LevelsAtPositions(std::span<const SystemMeasurement> positions,
                                          const std::function<MeasuredResponse(const SystemMeasurement&)>& output);

// `options` with limits at each step of its range that follow the
// positions, each moved to the average's level over the
// range (one seat nearer the loudspeakers is not a disagreement): where the
// smoothed positions lie more than kPositionsDisagreeDb apart, no boost;
// a cut deeper than kUnsharedCutDb only as deep as the least of the
// positions' excess over the target there (the target's level following
// the average). Steps a position or the target does not cover keep the
// options' own limits. The fit holds the channel's level: where it
// followed, a shelf lifting the rest of the range would make any cut
// without a band cutting, and lift the channel past the limit on its rise.
// Throws as LevelsOverPositions.
FitOptions SpatialFitOptions(const FitOptions& options, std::span<const LevelCurve> positions);

// The PEQ fitted on the positions' average toward the target, within the
// limits of SpatialFitOptions; throws as FitPeq and LevelsOverPositions.
FitResult FitPeqAtPositions(std::span<const LevelCurve> positions, const FitOptions& options);

// FittedWith on the positions' average within those limits.
FitResult FittedAtPositionsWith(std::span<const LevelCurve> positions, const FitOptions& options,
                                const PeqBands& bands);
