#include "tuning/SoundModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "tuning/IdealFilter.h"

namespace {

constexpr double kShelfSlopeDbPerOctave = 12.0;
constexpr double kMsPerDelayStep = 0.1;
constexpr double kDbPerLevelStep = 0.5;

struct Place {
    int below;
    double t;  // 0..1 of the way to the entry above
};

Place PlaceBetween(int size, double index)
{
    const double i = std::clamp(index, 0.0, double(size - 1));
    const int below = std::min(static_cast<int>(std::floor(i)), size - 2);
    return {below, i - below};
}

// The frequency of a step between the table's steps, on the octave scale.
double FrequencyAtStep(double step)
{
    const auto [below, t] = PlaceBetween(kFreqSteps, step);
    return FreqTable[below] * std::pow(FreqTable[below + 1] / FreqTable[below], t);
}

double OctavesAtStep(double bandwidthStep)
{
    const auto [below, t] = PlaceBetween(kOctaveSteps, bandwidthStep - kBandwidthStepNarrowest);
    return OctaveTable[below] * (1.0 - t) + OctaveTable[below + 1] * t;
}

// One section of a crossover: its order (1 or 2), its frequency as a factor
// of the corner (high-passes divide by it), and its Q.
struct Section {
    int order;
    double factor;
    double q;
};

// Butterworth of order n at the corner: sections of Q 1 / (2 sin((2k-1) pi / 2n)).
std::vector<Section> Butterworth(int n)
{
    std::vector<Section> sections;
    if (n % 2 == 1) sections.push_back({1, 1.0, 0.0});
    for (int k = 1; k <= n / 2; ++k)
        sections.push_back({2, 1.0, 1.0 / (2.0 * std::sin((2 * k - 1) * std::numbers::pi / (2.0 * n)))});
    return sections;
}

std::vector<Section> LinkRiley(int n)
{
    std::vector<Section> half = Butterworth(n / 2);
    std::vector<Section> sections = half;
    sections.insert(sections.end(), half.begin(), half.end());
    return sections;
}

// Bessel filters normalised to -3 dB at the corner (the poles of the
// reverse Bessel polynomial, scaled).
std::vector<Section> Bessel(int n)
{
    switch (n) {
        case 2:
            return {{2, 1.2720, 0.5774}};
        case 3:
            return {{1, 1.3227, 0.0}, {2, 1.4476, 0.6910}};
        case 4:
            return {{2, 1.4302, 0.5219}, {2, 1.6034, 0.8055}};
        default:
            return {{2, 1.7785, 0.5060}, {2, 1.8321, 0.5596}, {2, 1.9532, 0.7109}, {2, 2.1887, 1.2257}};
    }
}

constexpr int kFirstQType = 2;  // "12dB/Q=0.5", then Q rises by 0.1 a type
constexpr int kLastQType = 17;

std::vector<Section> SectionsOf(int type)
{
    if (type >= kFirstQType && type <= kLastQType) return {{2, 1.0, 0.5 + 0.1 * (type - kFirstQType)}};
    switch (type) {
        case 1:
            return Butterworth(1);
        case 18:
            return Bessel(2);
        case 19:
            return Butterworth(2);
        case 20:
            return Butterworth(3);
        case 21:
            return Bessel(3);
        case 22:
            return Butterworth(4);
        case 23:
            return Bessel(4);
        case 24:
            return LinkRiley(4);
        case 25:
            return Butterworth(8);
        case 26:
            return Bessel(8);
        case 27:
            return LinkRiley(8);
        default:
            return {};  // the pass-through
    }
}

Biquad SectionBiquad(const Section& s, double cornerHz, Pass pass)
{
    const double hz = pass == Pass::Low ? cornerHz * s.factor : cornerHz / s.factor;
    if (s.order == 1) return pass == Pass::Low ? FirstOrderLowPass(hz) : FirstOrderHighPass(hz);
    return pass == Pass::Low ? LowPassBiquad(hz, s.q) : HighPassBiquad(hz, s.q);
}

}  // namespace

Biquad PeqBandBiquad(const PeqBandShape& band)
{
    const double hz = FrequencyAtStep(band.centreStep);
    if (band.loShelf || band.hiShelf) {
        const double q = ShelfQFromSlope(band.gainDb, kShelfSlopeDbPerOctave);
        return band.loShelf ? LowShelfBiquad(hz, band.gainDb, q) : HighShelfBiquad(hz, band.gainDb, q);
    }
    return PeakBiquad(hz, band.gainDb, QFromOctaves(OctavesAtStep(band.bandwidthStep)));
}

Complex PeqBandSound(const PeqBand& band, double hz)
{
    if (band.flat) return 1.0;
    return PeqBandBiquad(ShapeOf(band)).At(hz);
}

Complex PeqBandsSound(const PeqBands& bands, double hz)
{
    Complex h = 1.0;
    for (const PeqBand& band : bands) h *= PeqBandSound(band, hz);
    return h;
}

Complex CrossoverSound(int type, int freqStep, Pass pass, double hz)
{
    const double corner = FreqTable[std::clamp(freqStep, 0, kFreqSteps - 1)];
    Complex h = 1.0;
    for (const Section& s : SectionsOf(type)) h *= SectionBiquad(s, corner, pass).At(hz);
    return h;
}

Complex ChannelCrossoverSound(const ParameterModel& model, int slot, double hz)
{
    if (slot == kSlotLeftRight && model.xoverOn[kSlotLeftRight] == 0) return 1.0;
    return CrossoverSound(model.hpfType[slot], model.hpfFreq[slot], Pass::High, hz) *
           CrossoverSound(model.lpfType[slot], model.lpfFreq[slot], Pass::Low, hz);
}

Complex DelaySound(double steps, double hz)
{
    return std::polar(1.0, -2.0 * std::numbers::pi * hz * steps * kMsPerDelayStep / 1000.0);
}

double LevelFactor(int gainStep) { return std::pow(10.0, (gainStep - kGainStepZero) * kDbPerLevelStep / 20.0); }

Complex ChannelSound(const ParameterModel& model, int slot, double hz)
{
    if (model.mute[slot] != 0) return 0.0;
    const double sign = model.polarity[slot] != 0 ? -1.0 : 1.0;
    return sign * LevelFactor(model.gain[slot]) * ChannelCrossoverSound(model, slot, hz) *
           PeqBandsSound(ReadPeqBands(model, slot), hz) * DelaySound(model.delay[slot], hz);
}
