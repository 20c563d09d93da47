// The levels of a recording: its peak, the samples at full scale, and the
// signal against the noise in octave bands.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

// A sample this close to full scale counts as clipped: converters and
// sound servers rarely deliver the last tenth of a dB.
inline constexpr double kClipDbfs = -0.1;
// The level of silence, below anything a converter delivers.
inline constexpr double kSilenceDbfs = -200.0;

// The largest magnitude in dB re full scale (1.0); kSilenceDbfs for no
// sample above 0.
double PeakDbfs(std::span<const float> samples);
std::size_t CountClipped(std::span<const float> samples, double thresholdDbfs = kClipDbfs);

struct BandSnr {
    double centreHz = 0.0;   // exact, 1000 * 2^k
    double nominalHz = 0.0;  // as octaves are named: 31.5, 63, 125 ...
    double signalDb = 0.0;   // the sweep's energy in the band, the noise's taken off
    double noiseDb = 0.0;    // the noise's energy in the band (same length)
    double snrDb = 0.0;
};

// The octave bands whose centres lie within lowHz .. highHz, for a sweep's
// recording and the silence recorded before it (the noise's energy is
// scaled to the signal's length where they differ). Throws
// std::invalid_argument for an empty signal or noise.
std::vector<BandSnr> OctaveSnr(std::span<const float> signal, std::span<const float> noise, double rate, double lowHz,
                               double highHz);
// The exact centre of the lowest of those octaves for a band from `lowHz`.
// Throws std::invalid_argument above the highest octave.
double LowestOctaveCentreHz(double lowHz);
