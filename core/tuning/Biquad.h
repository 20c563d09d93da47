// Second-order digital filter sections at the unit's 48 kHz: the designs of
// the "Audio EQ Cookbook" (R. Bristow-Johnson), as equaliser programs and
// processors compute them, and the first-order sections of the 6 dB types.
#pragma once

#include <complex>

inline constexpr double kUnitSampleRate = 48000.0;

struct Biquad {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a0 = 1.0, a1 = 0.0, a2 = 0.0;

    std::complex<double> At(double hz) const;
    // |H|^2 at the angle w (radians per sample) from cos w and cos 2w: what
    // a fit that evaluates one section at many fixed points needs.
    double PowerAt(double cosW, double cos2W) const;
};

Biquad PeakBiquad(double hz, double gainDb, double q);
// hz is the shelf's midpoint (half its gain in dB).
Biquad LowShelfBiquad(double hz, double gainDb, double q);
Biquad HighShelfBiquad(double hz, double gainDb, double q);
// -3 dB at hz for q = 1/sqrt(2).
Biquad LowPassBiquad(double hz, double q);
Biquad HighPassBiquad(double hz, double q);
// First order (b2 = a2 = 0), -3 dB at hz.
Biquad FirstOrderLowPass(double hz);
Biquad FirstOrderHighPass(double hz);

// The angle of hz in radians per sample.
double AngleOfHz(double hz);
