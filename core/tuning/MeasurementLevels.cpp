#include "tuning/MeasurementLevels.h"

#include <cmath>
#include <limits>

#include "tuning/PeqFit.h"

double MeanLevel(const double* levels, int first, int last)
{
    double sum = 0.0;
    int count = 0;
    for (int k = first; k <= last; ++k)
        if (std::isfinite(levels[k])) {
            sum += levels[k];
            ++count;
        }
    return count > 0 ? sum / count : 0.0;
}

ResponseCurve UnshiftedMeasurementLevels(const LevelCurve& measurement)
{
    ResponseCurve levels;
    for (int k = 0; k < kFreqSteps; ++k)
        levels[static_cast<std::size_t>(k)] =
            SmoothedAtStep(measurement, k).value_or(std::numeric_limits<double>::quiet_NaN());
    return levels;
}

double FitRangeMean(const ResponseCurve& levels)
{
    const FitOptions range;
    return MeanLevel(levels.data(), FreqIndexFromHz(range.lowHz), FreqIndexFromHz(range.highHz));
}

ResponseCurve MeasurementLevels(const LevelCurve& measurement)
{
    ResponseCurve levels = UnshiftedMeasurementLevels(measurement);
    const double mean = FitRangeMean(levels);
    for (double& level : levels) level -= mean;
    return levels;
}
