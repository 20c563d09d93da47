#include "emulator/audio/FractionalDelay.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace rx74emu {
namespace {

// The sinc passes up to 22 kHz of the 24 kHz band; the window's beta keeps
// the passband's ripple near 0.001 dB.
constexpr double kCutoff = 22000.0 / (kSampleRate / 2.0);
constexpr double kKaiserBeta = 8.0;

double BesselI0(double x)
{
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// The taps of a delay of kLatency + fraction samples, their sum exactly 1.
std::array<double, FractionalDelay::kTaps> SincTaps(double fraction)
{
    std::array<double, FractionalDelay::kTaps> taps{};
    const double centre = FractionalDelay::kLatency + fraction, half = FractionalDelay::kTaps / 2.0;
    double sum = 0.0;
    for (int k = 0; k < FractionalDelay::kTaps; ++k) {
        const double t = k - centre, x = std::numbers::pi * kCutoff * t;
        const double sinc = std::abs(x) < 1e-12 ? 1.0 : std::sin(x) / x;
        const double r = std::clamp(t / half, -1.0, 1.0);
        taps[k] = sinc * BesselI0(kKaiserBeta * std::sqrt(1.0 - r * r));
        sum += taps[k];
    }
    for (double& tap : taps) tap /= sum;
    return taps;
}

std::size_t PowerOfTwoAtLeast(std::size_t n)
{
    std::size_t size = 1;
    while (size < n) size <<= 1;
    return size;
}

}  // namespace

void FractionalDelay::Set(double samples)
{
    samples_ = std::max(0.0, samples);
    whole_ = static_cast<int>(std::floor(samples_));
    taps_ = SincTaps(samples_ - whole_);
    const std::size_t needed = PowerOfTwoAtLeast(static_cast<std::size_t>(whole_) + kTaps);
    if (needed > history_.size()) {
        // Grows only: the samples already held keep their age.
        std::vector<double> grown(needed, 0.0);
        for (std::size_t age = 0; age < history_.size(); ++age)
            grown[(needed - age) & (needed - 1)] = history_[(at_ - age) & (history_.size() - 1)];
        history_ = std::move(grown);
        at_ = 0;
    }
}

double FractionalDelay::Process(double x)
{
    const std::size_t mask = history_.size() - 1;
    at_ = (at_ + 1) & mask;
    history_[at_] = x;
    const std::size_t newest = at_ - static_cast<std::size_t>(whole_);
    double y = 0.0;
    for (int k = 0; k < kTaps; ++k) y += taps_[k] * history_[(newest - k) & mask];
    return y;
}

std::complex<double> FractionalDelay::Response(double hz, double rate) const
{
    const double w = 2.0 * std::numbers::pi * hz / rate;
    std::complex<double> h = 0.0;
    for (int k = 0; k < kTaps; ++k) h += taps_[k] * std::polar(1.0, -w * (k + whole_));
    return h;
}

double MsToSamples(double ms) { return ms * kSampleRate / 1000.0; }

double SamplesToMs(double samples) { return samples * 1000.0 / kSampleRate; }

}  // namespace rx74emu
