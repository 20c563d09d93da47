#include "SpatialAverage.h"

#include "tuning/SpatialFit.h"

SpatialAverage AverageOverPositions(const std::vector<const FrequencyResponse*>& positions)
{
    std::vector<LevelCurve> levels;
    levels.reserve(positions.size());
    for (const FrequencyResponse* position : positions) levels.push_back({position->hz, position->db});
    SpatialLevels over = LevelsOverPositions(levels);
    return {std::move(over.mean.hz), std::move(over.mean.db), std::move(over.spreadDb)};
}
