// One second-order section (a first-order one has b2 = a2 = 0) in direct
// form II transposed, and its transfer function. Designs by the bilinear
// transform, warped so that the frequency they are given is exact.
#pragma once

#include <array>
#include <complex>
#include <vector>

namespace rx74emu {

inline constexpr double kSampleRate = 48000.0;

struct Biquad {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;

    // H(z) at the frequency `hz`, for the sample rate `rate`.
    std::complex<double> Response(double hz, double rate = kSampleRate) const;
};

// The analogue sections of a filter's prototype, normalised to a corner at
// 1 rad/s: second-order poles (their frequency and Q) and real poles.
struct Prototype {
    struct Pair {
        double frequency;
        double q;
    };
    std::vector<Pair> pairs;
    std::vector<double> realPoles;  // positive: the pole is at -p
};

// The prototype as a low-pass or a high-pass with its corner at `hz`.
std::vector<Biquad> LowPassSections(const Prototype&, double hz, double rate = kSampleRate);
std::vector<Biquad> HighPassSections(const Prototype&, double hz, double rate = kSampleRate);

// The audio equaliser cookbook's bell and shelves (R. Bristow-Johnson).
// A bell's bandwidth is in octaves between its half-gain points; a shelf's
// slope is the steepest without overshoot (S = 1), its frequency the half-gain point.
Biquad Bell(double hz, double gainDb, double octaves, double rate = kSampleRate);
Biquad LowShelf(double hz, double gainDb, double rate = kSampleRate);
Biquad HighShelf(double hz, double gainDb, double rate = kSampleRate);
// The Q of a bell whose bandwidth is `octaves`.
double BellQ(double octaves);

// Sections run one after the other, each keeping its own state.
class FilterCascade {
public:
    FilterCascade() = default;
    explicit FilterCascade(std::vector<Biquad> sections) { Set(std::move(sections)); }

    // Takes new coefficients. The sections' state is kept when their number
    // stays, so that a change while playing does not start from silence.
    void Set(std::vector<Biquad> sections);
    double Process(double x);
    std::complex<double> Response(double hz, double rate = kSampleRate) const;

private:
    std::vector<Biquad> sections_;
    std::vector<std::array<double, 2>> state_;
};

}  // namespace rx74emu
