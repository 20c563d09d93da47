// The complex frequency response of an impulse response at log-spaced
// points, smoothed over a fraction of an octave.
//
// The level at a point is the power average over the band of 1 / fraction
// octave centred there (of the FFT's bins; where the band is narrower than a
// bin, the bins beside it interpolated), the complex value the average of
// the complex response over the same band, as sums of outputs need (taken
// with the delay to the impulse's peak removed, then that delay put back at
// the point's frequency: a delayed response does not average away). The
// phase is that complex value's, in degrees wrapped to (-180, 180], referred
// to referenceSeconds after time zero: 0 keeps the outputs of one recording
// on one time base, the arrival time removes an output's own delay.
#pragma once

#include <complex>
#include <vector>

#include "ImpulseWindow.h"

// lowHz, then perOctave points an octave up to the last one at or below
// highHz. Throws std::invalid_argument unless 0 < lowHz <= highHz and
// perOctave >= 1.
std::vector<double> LogFrequencies(double lowHz = 10.0, double highHz = 20000.0, int perOctave = 48);

struct FrequencyResponse {
    std::vector<double> hz;
    std::vector<double> db;
    std::vector<double> phaseDeg;
    std::vector<std::complex<double>> values;
};

// Throws std::invalid_argument for an empty impulse response, a fraction
// below 1 or a frequency not within 0 .. rate / 2.
FrequencyResponse ResponseOf(const ImpulseResponse& impulse, const std::vector<double>& hz, int fraction = 48,
                             double referenceSeconds = 0.0);

// A response smoothed again on its own points, over 1 / fraction octave:
// power-averaged levels and averaged complex values, each point weighted
// by the width in Hz it stands for, so that the average is over frequency
// as in ResponseOf. The complex values are averaged with delaySeconds taken
// out and put back after (an output's arrival, for a response referred to
// time zero). Throws std::invalid_argument for a fraction below 1.
FrequencyResponse Smoothed(const FrequencyResponse& response, int fraction, double delaySeconds = 0.0);
