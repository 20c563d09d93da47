// The exponential (logarithmic) sine sweep and its inverse filter.
//
// The sweep rises from startHz to endHz in `seconds`, its frequency growing
// by the same ratio in every equal stretch of time, so that it spends as
// long in each octave; short half-Hann fades at both ends keep its edges
// from clicking. The inverse filter is the sweep reversed in time, its
// amplitude falling 6 dB with each octave it falls (which undoes the sweep's
// pink spectrum, 3 dB less energy an octave up), and scaled so that sweep convolved with
// inverse is an impulse of 0 dB within the sweep's band: a recording of a
// system that passes the sweep unchanged deconvolves to a flat 0 dB
// response, whatever the sweep's level.
#pragma once

#include <cstddef>
#include <vector>

// No louder than this without allowLoud: a measurement at a louder level
// risks the loudspeakers and the listeners' ears.
inline constexpr double kSweepLoudDbfs = -6.0;

struct SweepSettings {
    double rate = 48000.0;
    double startHz = 10.0;
    double endHz = 22000.0;
    double seconds = 2.0;
    double levelDbfs = -20.0;  // the sweep's peak
    bool allowLoud = false;    // a level above kSweepLoudDbfs
    // Over the first half octave (at 2 s): the band's low edge eased, so
    // that it rings less into the band above it.
    double fadeInSeconds = 0.1;
    double fadeOutSeconds = 0.01;
};

// The sweep's length in samples.
std::size_t SweepLength(const SweepSettings& settings);

// Both throw std::invalid_argument, with the reason, for a rate or length
// not above 0, frequencies not rising within 0 .. rate / 2, fades longer
// than the sweep, or a level above 0 dBFS, or above kSweepLoudDbfs without
// allowLoud. Each has SweepLength(settings) samples.
std::vector<float> MakeSweep(const SweepSettings& settings);
std::vector<float> MakeInverseFilter(const SweepSettings& settings);
