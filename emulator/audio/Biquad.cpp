#include "emulator/audio/Biquad.h"

#include <cmath>
#include <numbers>

namespace rx74emu {
namespace {

// tan(pi f / fs): the analogue frequency that the bilinear transform maps to `hz`.
double Warped(double hz, double rate) { return std::tan(std::numbers::pi * hz / rate); }

// The bilinear transform of (n2 s^2 + n1 s + n0) / (s^2 + d1 s + d0), s in
// units of the warped frequency.
Biquad Bilinear(double n2, double n1, double n0, double d1, double d0)
{
    const double norm = 1.0 / (1.0 + d1 + d0);
    return {(n2 + n1 + n0) * norm, 2.0 * (n0 - n2) * norm, (n2 - n1 + n0) * norm, 2.0 * (d0 - 1.0) * norm,
            (1.0 - d1 + d0) * norm};
}

// The same for a first-order (n1 s + n0) / (s + d0).
Biquad BilinearFirstOrder(double n1, double n0, double d0)
{
    const double norm = 1.0 / (1.0 + d0);
    return {(n1 + n0) * norm, (n0 - n1) * norm, 0.0, (d0 - 1.0) * norm, 0.0};
}

// A cookbook section, 1 + alpha z-terms form, from its numerator and denominator.
Biquad Normalised(double b0, double b1, double b2, double a0, double a1, double a2)
{
    return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

// A shelf: `low` cuts or boosts below hz, otherwise above.
Biquad Shelf(double hz, double gainDb, bool low, double rate)
{
    const double a = std::pow(10.0, gainDb / 40.0), w = 2.0 * std::numbers::pi * hz / rate;
    const double cw = std::cos(w), alpha = std::sin(w) / std::sqrt(2.0), root = 2.0 * std::sqrt(a) * alpha;
    const double sign = low ? 1.0 : -1.0;  // the high shelf is the low one with cos w negated
    return Normalised(a * ((a + 1) - sign * (a - 1) * cw + root), sign * 2 * a * ((a - 1) - sign * (a + 1) * cw),
                      a * ((a + 1) - sign * (a - 1) * cw - root), (a + 1) + sign * (a - 1) * cw + root,
                      -sign * 2 * ((a - 1) + sign * (a + 1) * cw), (a + 1) + sign * (a - 1) * cw - root);
}

}  // namespace

std::complex<double> Biquad::Response(double hz, double rate) const
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate), z2 = z1 * z1;
    return (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
}

std::vector<Biquad> LowPassSections(const Prototype& prototype, double hz, double rate)
{
    const double k = Warped(hz, rate);
    std::vector<Biquad> sections;
    for (const auto& pair : prototype.pairs) {
        const double w = pair.frequency * k;
        sections.push_back(Bilinear(0, 0, w * w, w / pair.q, w * w));
    }
    for (double pole : prototype.realPoles) sections.push_back(BilinearFirstOrder(0, pole * k, pole * k));
    return sections;
}

// s -> 1/s turns the normalised low-pass into the high-pass, its poles at 1/p.
std::vector<Biquad> HighPassSections(const Prototype& prototype, double hz, double rate)
{
    const double k = Warped(hz, rate);
    std::vector<Biquad> sections;
    for (const auto& pair : prototype.pairs) {
        const double w = k / pair.frequency;
        sections.push_back(Bilinear(1, 0, 0, w / pair.q, w * w));
    }
    for (double pole : prototype.realPoles) sections.push_back(BilinearFirstOrder(1, 0, k / pole));
    return sections;
}

double BellQ(double octaves) { return 1.0 / (2.0 * std::sinh(std::numbers::ln2 / 2.0 * octaves)); }

Biquad Bell(double hz, double gainDb, double octaves, double rate)
{
    const double a = std::pow(10.0, gainDb / 40.0), w = 2.0 * std::numbers::pi * hz / rate;
    const double alpha = std::sin(w) / (2.0 * BellQ(octaves)), cw = std::cos(w);
    return Normalised(1 + alpha * a, -2 * cw, 1 - alpha * a, 1 + alpha / a, -2 * cw, 1 - alpha / a);
}

Biquad LowShelf(double hz, double gainDb, double rate) { return Shelf(hz, gainDb, true, rate); }

Biquad HighShelf(double hz, double gainDb, double rate) { return Shelf(hz, gainDb, false, rate); }

void FilterCascade::Set(std::vector<Biquad> sections)
{
    if (sections.size() != sections_.size()) state_.assign(sections.size(), {0.0, 0.0});
    sections_ = std::move(sections);
}

double FilterCascade::Process(double x)
{
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const Biquad& s = sections_[i];
        auto& z = state_[i];
        const double y = s.b0 * x + z[0];
        z[0] = s.b1 * x - s.a1 * y + z[1];
        z[1] = s.b2 * x - s.a2 * y;
        x = y;
    }
    return x;
}

std::complex<double> FilterCascade::Response(double hz, double rate) const
{
    std::complex<double> h = 1.0;
    for (const Biquad& s : sections_) h *= s.Response(hz, rate);
    return h;
}

}  // namespace rx74emu
