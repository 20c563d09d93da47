#include "graph/ChannelMeasurement.h"

ChannelMeasurement::ChannelMeasurement(QString name, LevelCurve points)
    : name_(std::move(name)), points_(std::move(points)), levels_(MeasurementLevels(points_))
{
}

ResponseCurve ChannelMeasurement::Predicted(const PeqBands& bands) const
{
    ResponseCurve predicted = PeqBandsCurve(bands);
    for (std::size_t k = 0; k < predicted.size(); ++k) predicted[k] += levels_[k];
    return predicted;
}
