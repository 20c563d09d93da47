// One output's responses from several microphone positions taken together,
// as the measurement keeps them: the tuning's LevelsOverPositions
// (tuning/SpatialFit.h) over the responses' levels, at each frequency
// point the mean of their powers (a dip at one seat is not averaged as
// deep as its dB would be) and their spread, how far the loudest position
// stands above the quietest there.
#pragma once

#include <vector>

#include "FrequencyResponse.h"

struct SpatialAverage {
    std::vector<double> hz;
    std::vector<double> db;        // 10 log10 of the mean power over the positions
    std::vector<double> spreadDb;  // the loudest position's level less the quietest's
};

// Throws std::invalid_argument for no response, or for responses whose
// points differ (they must be one measurement's points, such as LogFrequencies()).
SpatialAverage AverageOverPositions(const std::vector<const FrequencyResponse*>& positions);
