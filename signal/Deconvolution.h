// A recording turned into impulse responses: the recording convolved with
// the sweep's inverse filter, once for the whole recording, by FFT. Each
// sweep in the recording becomes an impulse response in the result; the
// harmonic distortion of the system lands before it (for a 2 s sweep of
// 10 Hz .. 22 kHz the second harmonic 0.18 s before), out of its window.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

struct Deconvolved {
    std::vector<float> samples;  // recording.size() + inverse.size() - 1 of them
    std::size_t sweepLength = 0;

    // The index of time zero of the impulse response of a sweep that
    // starts at `sweepStart` in the recording: what arrives at once, a
    // loopback of the sweep, peaks there.
    std::size_t TimeZeroOf(std::size_t sweepStart) const { return sweepStart + sweepLength - 1; }
};

// Throws std::invalid_argument for an empty recording or inverse filter.
Deconvolved Deconvolve(std::span<const float> recording, std::span<const float> inverse);
