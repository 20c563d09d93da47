// What the unit does to one output's signal, in its order: the three PEQ
// bands, the high- and low-pass, the level and polarity, the limiter, the
// mute and the delay.
#pragma once

#include <complex>

#include "emulator/audio/Biquad.h"
#include "emulator/audio/ChannelSetting.h"
#include "emulator/audio/FractionalDelay.h"
#include "emulator/audio/PeakLimiter.h"

namespace rx74emu {

class OutputChannel {
public:
    explicit OutputChannel(const ChannelSetting& setting = {}) { Set(setting); }

    // Takes a new setting while it plays; the filters keep their state.
    void Set(const ChannelSetting&);
    double Process(double x);
    // The transfer function below the limiter's threshold, the mute aside
    // (it is the output's sound whenever it plays) and the delay's latency
    // included.
    std::complex<double> Response(double hz) const;
    const ChannelSetting& Setting() const { return setting_; }

private:
    ChannelSetting setting_;
    FilterCascade filters_;
    double gain_ = 1.0;  // level and polarity
    PeakLimiter limiter_;
    FractionalDelay delay_;
};

// The bell or shelf a band sounds as; a flat band passes everything (a
// section still, so that switching it keeps the other sections' state).
Biquad BandSection(const PeqBand&);

}  // namespace rx74emu
