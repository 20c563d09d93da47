#include "graph/ChannelMeasurement.h"

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

ChannelMeasurement::ChannelMeasurement(QString name, Measurement points)
    : name_(std::move(name)), points_(std::move(points))
{
    for (int k = 0; k < kFreqSteps; ++k)
        levels_[static_cast<std::size_t>(k)] =
            SmoothedAtStep(points_, k).value_or(std::numeric_limits<double>::quiet_NaN());
    const FitOptions range;
    const double mean = MeanLevel(levels_.data(), FreqIndexFromHz(range.lowHz), FreqIndexFromHz(range.highHz));
    for (double& level : levels_) level -= mean;
}

ResponseCurve ChannelMeasurement::Predicted(const PeqBands& bands) const
{
    ResponseCurve predicted = PeqBandsCurve(bands);
    for (std::size_t k = 0; k < predicted.size(); ++k) predicted[k] += levels_[k];
    return predicted;
}
