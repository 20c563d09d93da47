// The unit's limiter as a peak limiter: no sample leaves above the
// threshold. It acts at once (so it needs no look-ahead, which would add
// latency), holds its gain for the hold time after the last peak that
// needed it, then recovers with the release time as its time constant.
#pragma once

#include <optional>

namespace rx74emu {

// The level in dBFS that the unit's dBu stand for: its converters' full
// scale is +20 dBu.
inline constexpr double kFullScaleDbu = 20.0;

class PeakLimiter {
public:
    // No threshold: the limiter is off.
    void Set(std::optional<double> thresholdDbu, double holdMs, double releaseMs);
    double Process(double x);

private:
    std::optional<double> threshold_;  // linear, of full scale
    int holdSamples_ = 0;
    double recovery_ = 0.0;  // the share of the distance to unity gain kept per sample
    double gain_ = 1.0;
    int holding_ = 0;
};

}  // namespace rx74emu
