// How long the measured signal comes after the reference, found in what
// plays: the impulse response of the system from the two signals' averaged
// spectra, its peak between samples by a parabola through the three highest
// magnitudes. Its range is half the FFT length either way (at least 0.5 s).
// The peak must stand well above the rest of the response: noise, or
// silence, finds nothing.
#pragma once

#include <optional>
#include <span>

#include "DualChannelAverage.h"

inline constexpr double kDelayRangeSeconds = 0.5;

class DelayFinder {
public:
    // Throws std::invalid_argument for a rate or time constant not above 0.
    DelayFinder(double rate, double averageSeconds);

    void Add(std::span<const float> reference, std::span<const float> measured);
    // Seconds the measured comes after the reference (before it when
    // negative), or nothing while no peak stands out.
    std::optional<double> Delay() const;

private:
    double rate_;
    DualChannelAverage spectra_;
    RealFft inverse_;
};

// Follows the delay found over time: a change of more than kDelayChangeSeconds
// from the one in use that holds (within that much of itself) for
// kDelayHoldSeconds is taken; a glimpse of another peak is not.
inline constexpr double kDelayChangeSeconds = 0.0001;
inline constexpr double kDelayHoldSeconds = 2.0;

class DelayTracker {
public:
    // The delay in use, nothing before the first one is found.
    std::optional<double> Current() const { return current_; }
    // A delay found at `nowSeconds` (stream time); true when it became the
    // one in use: the first found, or a change that has held.
    bool Look(std::optional<double> found, double nowSeconds);

private:
    std::optional<double> current_;
    std::optional<double> candidate_;
    double candidateSince_ = 0.0;
};
