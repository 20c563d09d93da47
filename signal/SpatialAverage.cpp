#include "SpatialAverage.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

SpatialAverage AverageOverPositions(const std::vector<const FrequencyResponse*>& positions)
{
    if (positions.empty()) throw std::invalid_argument("no position to average");
    const std::vector<double>& hz = positions.front()->hz;
    for (const FrequencyResponse* position : positions)
        if (position->hz != hz || position->db.size() != hz.size())
            throw std::invalid_argument("the positions' responses are not on the same points");
    SpatialAverage average{hz, {}, {}};
    for (std::size_t i = 0; i < hz.size(); ++i) {
        double power = 0.0, loudest = -INFINITY, quietest = INFINITY;
        for (const FrequencyResponse* position : positions) {
            const double db = position->db[i];
            power += std::pow(10.0, db / 10.0);
            loudest = std::max(loudest, db);
            quietest = std::min(quietest, db);
        }
        average.db.push_back(10.0 * std::log10(power / static_cast<double>(positions.size())));
        average.spreadDb.push_back(loudest - quietest);
    }
    return average;
}
