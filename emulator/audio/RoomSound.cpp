#include "emulator/audio/RoomSound.h"

#include <cmath>

namespace rx74emu {
namespace {

// The pinking filter's RMS on unit white noise is found by running it over
// this many samples of its own seed.
constexpr int kCalibrationSamples = 1 << 16;

Biquad SecondOrder(const RoomFilter& f)
{
    const Prototype section{{{1.0, f.q}}, {}};
    switch (f.kind) {
        case RoomFilter::Kind::HighPass:
            return HighPassSections(section, f.hz).front();
        case RoomFilter::Kind::LowPass:
            return LowPassSections(section, f.hz).front();
        case RoomFilter::Kind::LowShelf:
            return LowShelf(f.hz, f.gainDb);
        case RoomFilter::Kind::HighShelf:
            return HighShelf(f.hz, f.gainDb);
        case RoomFilter::Kind::Peak:
            break;
    }
    // A peak's Q as a bandwidth in octaves: N = 2 asinh(1 / 2Q) / ln 2.
    return Bell(f.hz, f.gainDb, 2.0 * std::asinh(1.0 / (2.0 * f.q)) / std::log(2.0));
}

}  // namespace

std::vector<Biquad> RoomFilterSections(const std::vector<RoomFilter>& filters)
{
    std::vector<Biquad> sections;
    for (const RoomFilter& f : filters) sections.push_back(SecondOrder(f));
    return sections;
}

SpeakerPath::SpeakerPath(const Loudspeaker& speaker)
    : response_(RoomFilterSections(speaker.response)),
      gain_((speaker.reversed ? -1.0 : 1.0) / speaker.distanceM),
      distance_(speaker.distanceM / kSpeedOfSound * kSampleRate)
{
}

NoiseSource::NoiseSource(const RoomNoise& noise) : random_(noise.seed), pink_(noise.colour == RoomNoise::Colour::Pink)
{
    if (!(noise.dbfs > -200.0)) return;
    double rms = 1.0;
    if (pink_) {
        double sum = 0.0;
        for (int i = 0; i < kCalibrationSamples; ++i) sum += std::pow(Pink(normal_(random_)), 2);
        rms = std::sqrt(sum / kCalibrationSamples);
    }
    scale_ = std::pow(10.0, noise.dbfs / 20.0) / rms;
}

double NoiseSource::Next()
{
    if (scale_ == 0.0) return 0.0;
    const double white = normal_(random_);
    return scale_ * (pink_ ? Pink(white) : white);
}

// Paul Kellet's pinking filter: a sum of first-order low-passes, within
// 0.05 dB of -3 dB per octave above 9 Hz at 44.1 kHz.
double NoiseSource::Pink(double white)
{
    auto& b = state_;
    b[0] = 0.99886 * b[0] + white * 0.0555179;
    b[1] = 0.99332 * b[1] + white * 0.0750759;
    b[2] = 0.96900 * b[2] + white * 0.1538520;
    b[3] = 0.86650 * b[3] + white * 0.3104856;
    b[4] = 0.55000 * b[4] + white * 0.5329522;
    b[5] = -0.7616 * b[5] - white * 0.0168980;
    const double pink = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + white * 0.5362;
    b[6] = white * 0.115926;
    return pink;
}

}  // namespace rx74emu
