// Systems whose responses are known exactly, to measure through: biquads
// (Audio EQ Cookbook) in cascade, delays of a fractional number of samples,
// white noise, and recordings of a sequence of sweeps put together from them.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

struct Biquad {
    double b0, b1, b2, a1, a2;  // a0 = 1
};

Biquad PeakingBell(double rate, double hz, double q, double gainDb);
Biquad LowPass(double rate, double hz, double q);
Biquad HighPass(double rate, double hz, double q);
// A 4th-order Butterworth as two biquads.
std::vector<Biquad> ButterworthLowPass4(double rate, double hz);

std::vector<float> Filter(std::span<const float> samples, const std::vector<Biquad>& cascade);
std::complex<double> ResponseAt(const std::vector<Biquad>& cascade, double rate, double hz);

// The samples delayed by `delay` samples (any fraction), by a phase turn of
// their spectrum: exact for a band-limited signal, as a sweep is.
std::vector<float> Delayed(std::span<const float> samples, double delay);

// Gaussian white noise of the given RMS, the same for the same seed.
std::vector<float> WhiteNoise(std::size_t count, double rms, unsigned seed);

// Adds `part` into `recording` from sample `at` on (growing it as needed).
void MixInto(std::vector<float>& recording, std::span<const float> part, std::size_t at);
