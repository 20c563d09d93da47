#include "tuning/Biquad.h"

#include <cmath>
#include <numbers>

namespace {

struct Angle {
    double cosW, alpha;
};

Angle AngleFor(double hz, double q)
{
    const double w0 = AngleOfHz(hz);
    return {std::cos(w0), std::sin(w0) / (2.0 * q)};
}

double Amplitude(double gainDb) { return std::pow(10.0, gainDb / 40.0); }

}  // namespace

double AngleOfHz(double hz) { return 2.0 * std::numbers::pi * hz / kUnitSampleRate; }

std::complex<double> Biquad::At(double hz) const
{
    const std::complex<double> z1 = std::polar(1.0, -AngleOfHz(hz));
    const std::complex<double> z2 = z1 * z1;
    return (b0 + b1 * z1 + b2 * z2) / (a0 + a1 * z1 + a2 * z2);
}

double Biquad::PowerAt(double cosW, double cos2W) const
{
    const double numerator = b0 * b0 + b1 * b1 + b2 * b2 + 2.0 * (b0 * b1 + b1 * b2) * cosW + 2.0 * b0 * b2 * cos2W;
    const double denominator = a0 * a0 + a1 * a1 + a2 * a2 + 2.0 * (a0 * a1 + a1 * a2) * cosW + 2.0 * a0 * a2 * cos2W;
    return numerator / denominator;
}

Biquad PeakBiquad(double hz, double gainDb, double q)
{
    const double a = Amplitude(gainDb);
    const auto [cosW, alpha] = AngleFor(hz, q);
    return {1 + alpha * a, -2 * cosW, 1 - alpha * a, 1 + alpha / a, -2 * cosW, 1 - alpha / a};
}

Biquad LowShelfBiquad(double hz, double gainDb, double q)
{
    const double a = Amplitude(gainDb);
    const auto [cosW, alpha] = AngleFor(hz, q);
    const double shelf = 2.0 * std::sqrt(a) * alpha;
    return {a * ((a + 1) - (a - 1) * cosW + shelf), 2 * a * ((a - 1) - (a + 1) * cosW),
            a * ((a + 1) - (a - 1) * cosW - shelf), (a + 1) + (a - 1) * cosW + shelf,
            -2 * ((a - 1) + (a + 1) * cosW),        (a + 1) + (a - 1) * cosW - shelf};
}

Biquad HighShelfBiquad(double hz, double gainDb, double q)
{
    const double a = Amplitude(gainDb);
    const auto [cosW, alpha] = AngleFor(hz, q);
    const double shelf = 2.0 * std::sqrt(a) * alpha;
    return {a * ((a + 1) + (a - 1) * cosW + shelf), -2 * a * ((a - 1) + (a + 1) * cosW),
            a * ((a + 1) + (a - 1) * cosW - shelf), (a + 1) - (a - 1) * cosW + shelf,
            2 * ((a - 1) - (a + 1) * cosW),         (a + 1) - (a - 1) * cosW - shelf};
}

Biquad LowPassBiquad(double hz, double q)
{
    const auto [cosW, alpha] = AngleFor(hz, q);
    return {(1 - cosW) / 2, 1 - cosW, (1 - cosW) / 2, 1 + alpha, -2 * cosW, 1 - alpha};
}

Biquad HighPassBiquad(double hz, double q)
{
    const auto [cosW, alpha] = AngleFor(hz, q);
    return {(1 + cosW) / 2, -(1 + cosW), (1 + cosW) / 2, 1 + alpha, -2 * cosW, 1 - alpha};
}

// The bilinear transform of 1 / (1 + s) and s / (1 + s), warped to hz.
Biquad FirstOrderLowPass(double hz)
{
    const double k = std::tan(AngleOfHz(hz) / 2.0);
    return {k, k, 0.0, k + 1.0, k - 1.0, 0.0};
}

Biquad FirstOrderHighPass(double hz)
{
    const double k = std::tan(AngleOfHz(hz) / 2.0);
    return {1.0, -1.0, 0.0, k + 1.0, k - 1.0, 0.0};
}
