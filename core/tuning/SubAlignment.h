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

#include "tuning/CrossoverSum.h"

inline constexpr double kAlignmentTieDb = 0.2;

struct AlignmentCandidate {
    int relativeSteps = 0;  // the Sub's delay less Left & Right's
    bool subInverted = false;
    double meanDb = 0.0;  // of the predicted sum over the region

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
