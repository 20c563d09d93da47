// A channel's measurement as the response window draws it (MeasurementLevels),
// and its prediction: what the channel's PEQ bands add, as the measurement
// is taken with them flat.
#pragma once

#include <QString>

#include "tuning/MeasurementLevels.h"
#include "tuning/PeqBands.h"

class ChannelMeasurement {
public:
    ChannelMeasurement(QString name, LevelCurve points);

    const QString& Name() const { return name_; }
    const LevelCurve& Points() const { return points_; }
    const ResponseCurve& Levels() const { return levels_; }
    ResponseCurve Predicted(const PeqBands& bands) const;

private:
    QString name_;
    LevelCurve points_;
    ResponseCurve levels_;
};
