// The envelope of a signal: the magnitude of its analytic signal (by the
// Hilbert transform, through the FFT), of the whole band or after a
// zero-phase low-pass (the magnitude of a 4th-order Butterworth, which adds
// no delay of its own).
#pragma once

#include <span>
#include <vector>

std::vector<float> Envelope(std::span<const float> samples);
std::vector<float> LowPassedEnvelope(std::span<const float> samples, double rate, double cornerHz);
