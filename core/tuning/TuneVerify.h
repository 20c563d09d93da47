// What a measurement after applying a proposal says of it: per output and
// for the system, the deviation from the target before and after, the sum
// in the crossover region, and how far the measurement after is from the
// prediction: beyond kPredictionMissDb somewhere the room did not behave as
// predicted (or the microphone moved); beyond kSecondPassDb a second pass
// is due, a fit on the new measurement.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "tuning/TuneProposal.h"

inline constexpr double kPredictionMissDb = 2.0;
inline constexpr double kSecondPassDb = 1.0;

struct OutputCheck {
    std::string output;  // "left", "right", "sub", "system"
    // RMS from the target, 1/6 octave, over the fit's range (the channels:
    // the part of it in their band, with their crossover in the target);
    // NaN where that part holds too few frequency steps.
    double rmsBeforeDb = 0.0;
    double rmsAfterDb = 0.0;
    // The measurement after less the prediction, the largest in size over the same steps.
    double largestMissDb = 0.0;
    double largestMissHz = 0.0;
};

struct TuneVerification {
    std::vector<OutputCheck> outputs;  // left, right, sub, system
    SumFigures crossoverSum;           // measured after
    bool missesPrediction = false;     // some output by more than kPredictionMissDb
    bool secondPassDue = false;        // by more than kSecondPassDb
};

// `predicted`: what the applied setting was to make of `before` (the
// proposal's, or PredictedMeasurement's for the parts applied); `setting`
// and `options` as the proposal was made with. Throws std::invalid_argument
// for measurements CheckSystemMeasurement refuses or a region without points.
TuneVerification VerifyTuning(const SystemMeasurement& before, const SystemMeasurement& predicted,
                              const SystemMeasurement& after, const ParameterModel& setting,
                              const CrossoverRegion& region, const FitOptions& options);

// Several positions, each verified as above against its own prediction:
// the first position's checks and sum (what a single position gives), with
// missesPrediction and secondPassDue where any position's are. Throws as
// VerifyTuning, and for no position or counts that differ.
TuneVerification VerifyTuningAtPositions(std::span<const SystemMeasurement> before,
                                         std::span<const SystemMeasurement> predicted,
                                         std::span<const SystemMeasurement> after, const ParameterModel& setting,
                                         const CrossoverRegion& region, const FitOptions& options);

// Several positions measured before and after: a position whose system
// output got further from the target by more than kWorsePositionDb is named.
inline constexpr double kWorsePositionDb = 1.0;

struct PositionCheck {
    double rmsBeforeDb = 0.0, rmsAfterDb = 0.0;  // the system output's, as OutputCheck's
    SumFigures sumBefore, sumAfter;              // tops and Sub over the region
};

struct SpatialVerification {
    std::vector<PositionCheck> positions{};
    double averageRmsBeforeDb = 0.0;  // of the positions' spatial average
    double averageRmsAfterDb = 0.0;
    std::vector<int> worse{};  // the positions (from 1) worse by more than kWorsePositionDb
};

// `before` and `after`: the same positions in the same order; `options`:
// the fit's range and target. Throws std::invalid_argument for no
// position, counts that differ, a measurement CheckSystemMeasurement
// refuses or a region without points.
SpatialVerification VerifyAtPositions(std::span<const SystemMeasurement> before,
                                      std::span<const SystemMeasurement> after, const CrossoverRegion& region,
                                      const FitOptions& options);
