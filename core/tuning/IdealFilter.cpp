#include "tuning/IdealFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tuning/Biquad.h"

namespace {

Biquad Section(const IdealFilter& f)
{
    switch (f.kind) {
        case FilterKind::Peak:
            return PeakBiquad(f.hz, f.gainDb, f.q);
        case FilterKind::LowShelf:
            return LowShelfBiquad(f.hz, f.gainDb, f.q);
        case FilterKind::HighShelf:
            break;
    }
    return HighShelfBiquad(f.hz, f.gainDb, f.q);
}

}  // namespace

double IdealFilterDb(const IdealFilter& filter, double hz)
{
    return 20.0 * std::log10(std::abs(Section(filter).At(hz)));
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
