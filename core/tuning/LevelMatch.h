// The Sub's level matched to the tops: each channel's mean power in its own
// band (the Sub two octaves below the crossover region, the tops two octaves
// above it, Left and Right together as the system plays them: their complex
// sum at the microphone), the Sub moved on the unit's 0.5 dB steps to the tops' level plus the
// user's offset. Left & Right, one channel on the unit, stay as they are.
#pragma once

#include <span>

#include "tuning/CrossoverSum.h"

struct LevelOptions {
    double subOffsetDb = 0.0;  // the Sub this much above the tops
    double maxRiseDb = 6.0;    // no level rises by more
};

struct LevelMatch {
    double topsDb = 0.0;  // the measured band levels
    double subDb = 0.0;
    double neededDb = 0.0;       // the change of the Sub that would match
    int subGain = 0;             // the Sub's level step proposed
    double changeDb = 0.0;       // what it changes by
    double missingDb = 0.0;      // what the limit or the unit's range left unmatched (0 when matched)
    bool limitedByUnit = false;  // the unit's own range, not the user's limit, stopped the rise
};

// Throws std::invalid_argument when a band holds no point of the measurement.
LevelMatch MatchSubLevel(const SystemMeasurement& measurement, const ParameterModel& setting,
                         const CrossoverRegion& region, const LevelOptions& options);
// The same on the positions' average: each band's mean power over the
// positions. Throws std::invalid_argument for no position too.
LevelMatch MatchSubLevelAtPositions(std::span<const SystemMeasurement> positions, const ParameterModel& setting,
                                    const CrossoverRegion& region, const LevelOptions& options);
