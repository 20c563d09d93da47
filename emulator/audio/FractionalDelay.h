// A delay of any length in samples, fractions included: a ring buffer for
// the whole samples and a Kaiser-windowed sinc for the rest. Every delay,
// also a whole one, goes through the sinc, so that every path has the same
// constant latency (kLatency) and the same response: flat within 0.001 dB to
// 20 kHz at 48 kHz, its phase the delay's own within 0.0001 sample.
#pragma once

#include <array>
#include <complex>
#include <vector>

#include "emulator/audio/Biquad.h"

namespace rx74emu {

class FractionalDelay {
public:
    static constexpr int kTaps = 96;
    static constexpr int kLatency = kTaps / 2 - 1;  // samples every delay adds

    explicit FractionalDelay(double samples = 0.0) { Set(samples); }

    // The delay in samples, latency aside; negative counts as none.
    void Set(double samples);
    double Samples() const { return samples_; }
    double Process(double x);
    // The transfer function, latency included.
    std::complex<double> Response(double hz, double rate = kSampleRate) const;

private:
    double samples_ = 0.0;
    int whole_ = 0;
    std::array<double, kTaps> taps_{};
    std::vector<double> history_;  // a ring of a power of two samples
    std::size_t at_ = 0;           // where the newest sample is
};

// Milliseconds as samples at 48 kHz, and back.
double MsToSamples(double ms);
double SamplesToMs(double samples);

}  // namespace rx74emu
