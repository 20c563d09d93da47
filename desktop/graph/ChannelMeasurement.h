// A channel's measurement as the response window draws it: smoothed over
// 1/6 octave at the unit's frequency steps, and moved to 0 dB on average
// over the fit's range, since a measurement's absolute level (often some
// 80 dB SPL) would lie far off the graph. The prediction adds what the
// channel's PEQ bands add, as the measurement is taken with them flat.
#pragma once

#include <QString>

#include "response/Response.h"
#include "tuning/MeasurementFile.h"
#include "tuning/PeqBands.h"

class ChannelMeasurement {
public:
    ChannelMeasurement(QString name, Measurement points);

    const QString& Name() const { return name_; }
    const Measurement& Points() const { return points_; }
    // One level per frequency step; NaN outside the measured span.
    const ResponseCurve& Levels() const { return levels_; }
    ResponseCurve Predicted(const PeqBands& bands) const;

private:
    QString name_;
    Measurement points_;
    ResponseCurve levels_{};
};

// The mean of the finite levels of steps first..last; 0 when there is none.
double MeanLevel(const double* levels, int first, int last);
