#include "emulator/audio/PeakLimiter.h"

#include <algorithm>
#include <cmath>

#include "emulator/audio/FractionalDelay.h"

namespace rx74emu {

void PeakLimiter::Set(std::optional<double> thresholdDbu, double holdMs, double releaseMs)
{
    threshold_.reset();
    if (thresholdDbu) threshold_ = std::pow(10.0, (*thresholdDbu - kFullScaleDbu) / 20.0);
    holdSamples_ = static_cast<int>(MsToSamples(holdMs));
    recovery_ = std::exp(-1.0 / std::max(1.0, MsToSamples(releaseMs)));
    if (!threshold_) gain_ = 1.0;
}

double PeakLimiter::Process(double x)
{
    if (!threshold_) return x;
    const double magnitude = std::abs(x);
    const double needed = magnitude > *threshold_ ? *threshold_ / magnitude : 1.0;
    if (needed < gain_) {
        gain_ = needed;
        holding_ = holdSamples_;
    } else if (holding_ > 0) {
        --holding_;
    } else {
        gain_ = std::min(needed, 1.0 - (1.0 - gain_) * recovery_);
    }
    return x * gain_;
}

}  // namespace rx74emu
