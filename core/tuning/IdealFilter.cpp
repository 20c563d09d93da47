#include "tuning/IdealFilter.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

constexpr double kSampleRate = 48000.0;

struct Biquad {
    double b0, b1, b2, a0, a1, a2;
};

Biquad Coefficients(const IdealFilter& f)
{
    const double a = std::pow(10.0, f.gainDb / 40.0);
    const double w0 = 2.0 * std::numbers::pi * f.hz / kSampleRate;
    const double cosW = std::cos(w0);
    const double alpha = std::sin(w0) / (2.0 * f.q);
    const double shelf = 2.0 * std::sqrt(a) * alpha;
    switch (f.kind) {
        case FilterKind::Peak:
            return {1 + alpha * a, -2 * cosW, 1 - alpha * a, 1 + alpha / a, -2 * cosW, 1 - alpha / a};
        case FilterKind::LowShelf:
            return {a * ((a + 1) - (a - 1) * cosW + shelf), 2 * a * ((a - 1) - (a + 1) * cosW),
                    a * ((a + 1) - (a - 1) * cosW - shelf), (a + 1) + (a - 1) * cosW + shelf,
                    -2 * ((a - 1) + (a + 1) * cosW),        (a + 1) + (a - 1) * cosW - shelf};
        case FilterKind::HighShelf:
            break;
    }
    return {a * ((a + 1) + (a - 1) * cosW + shelf), -2 * a * ((a - 1) + (a + 1) * cosW),
            a * ((a + 1) + (a - 1) * cosW - shelf), (a + 1) - (a - 1) * cosW + shelf,
            2 * ((a - 1) - (a + 1) * cosW),         (a + 1) - (a - 1) * cosW - shelf};
}

}  // namespace

double IdealFilterDb(const IdealFilter& filter, double hz)
{
    const Biquad c = Coefficients(filter);
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / kSampleRate);
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> h = (c.b0 + c.b1 * z1 + c.b2 * z2) / (c.a0 + c.a1 * z1 + c.a2 * z2);
    return 20.0 * std::log10(std::abs(h));
}

double QFromOctaves(double octaves) { return 1.0 / (2.0 * std::sinh(std::numbers::ln2 / 2.0 * octaves)); }

double OctavesFromQ(double q) { return 2.0 / std::numbers::ln2 * std::asinh(1.0 / (2.0 * q)); }

double ShelfQFromSlope(double gainDb, double slopeDbPerOctave)
{
    const double a = std::pow(10.0, gainDb / 40.0);
    const double s = slopeDbPerOctave / 12.0;
    // Steep slopes with large gains leave the cookbook's range: Q is held at 10.
    return 1.0 / std::sqrt(std::max((a + 1.0 / a) * (1.0 / s - 1.0) + 2.0, 0.01));
}
