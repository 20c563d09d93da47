// The Sub's delay and polarity that make tops and Sub add best over the
// crossover region, predicted from the measured complex responses.
//
// The tops are the complex sum of Left and Right as each was measured alone
// (what both play together at the microphone); the system output is left
// to verifying, as the measured truth the prediction is checked against.
//
// Every relative delay the unit can make (the Sub's delay less Left &
// Right's, -125..125 steps of 0.1 ms) is tried with each polarity of the
// Sub; a candidate's worth is the mean level of the predicted sum over the
// region on the octave scale, which a dip costs more than a peak repays:
// strongest and smoothest in one figure. The delay goes to whichever
// arrives first, the other channel's delay to 0.
//
// With Link-Riley crossovers the other polarity about half a period later
// comes within a fraction of a dB: when the two polarities' bests are within
// kAlignmentTieDb, the shorter delay is taken and the other named.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "tuning/CrossoverSum.h"

inline constexpr double kAlignmentTieDb = 0.2;
// At several positions: a dip of the sum deeper than this below the louder
// of tops and Sub, at any position, is a cancellation heard there.
inline constexpr double kAlignmentDipDb = 3.0;

struct AlignmentCandidate {
    int relativeSteps = 0;  // the Sub's delay less Left & Right's
    bool subInverted = false;
    double meanDb = 0.0;  // of the predicted sum over the region
    // At several positions: the sum less the louder of tops and Sub at its
    // deepest, over the region and the positions.
    double deepestDipDb = 0.0;

    int DelaySteps() const { return relativeSteps < 0 ? -relativeSteps : relativeSteps; }
};

struct Alignment {
    AlignmentCandidate chosen;
    AlignmentCandidate otherPolarity;  // the best of the polarity not chosen
    bool otherAsGood = false;          // within kAlignmentTieDb: the shorter delay was taken
    bool polarityReversed = false;     // the Sub's polarity switch is to change
    int lrDelay = 0;                   // the steps proposed for each channel
    int subDelay = 0;
    SumFigures before, after;  // the predicted sum with the setting as it is, and as proposed
};

// subLevelChangeDb: the change of the Sub's level that comes with it (it
// moves the sum too). Throws std::invalid_argument for a measurement
// CheckSystemMeasurement refuses or a region without points.
Alignment AlignSub(const SystemMeasurement& measurement, const ParameterModel& setting, const CrossoverRegion& region,
                   double subLevelChangeDb);

// Several positions: each candidate is judged at every position by how well
// tops and Sub add there (the mean over the region of the sum less the
// louder of the two, on the octave scale: 0 dB where they add as loud as the
// louder alone, far below at a null), and the candidate whose worst
// position fares best is taken: the worst seat decides, not the average.
// As loud at the worst, the shorter delay. A candidate that leaves no dip
// deeper than kAlignmentDipDb at any position goes before every one that
// leaves one (a mean gain elsewhere in the region does not pay for a
// cancellation at a seat); where every candidate leaves one, the worst
// position's mean decides alone.
struct PositionSum {
    SumFigures before, after;  // the sum here with the setting as it is, and as proposed
    double worthBeforeDb = 0.0, worthAfterDb = 0.0;
    AlignmentCandidate own;    // the candidate best here alone (its meanDb: its worth here)
    // `own` fares better here than the chosen: by more than kAlignmentTieDb,
    // or without the dip the chosen leaves here.
    bool anotherBetter = false;
};

struct SpatialAlignment {
    AlignmentCandidate chosen;  // its meanDb: its worth at the worst position
    bool polarityReversed = false;
    int lrDelay = 0;
    int subDelay = 0;
    std::vector<PositionSum> positions{};
};

// Throws std::invalid_argument for no position, one CheckSystemMeasurement
// refuses, or a region without points.
SpatialAlignment AlignSubAtPositions(std::span<const SystemMeasurement> positions, const ParameterModel& setting,
                                     const CrossoverRegion& region, double subLevelChangeDb);
