#include "emulator/audio/RoomSound.h"

#include <algorithm>
#include <cmath>

namespace rx74emu {
namespace {

// The pinking filter's RMS on unit white noise is found by running it over
// this many samples of its own seed.
constexpr int kCalibrationSamples = 1 << 16;

// The reverberation's diffusers: Schroeder all-passes of about these
// delays, short enough to be over before the network's first lines return.
constexpr double kDiffuserMs[] = {1.7, 2.9, 4.3, 6.1};
constexpr double kDiffuserGain = 0.6;
// Its lines lie between these, at mutually prime lengths so that their
// echoes seldom meet; together some 0.7 s, which gives 2 s of decay the
// density of modes a room has (Jot: at least 0.15 rt60 of delay in all).
constexpr double kShortestLineMs = 25.0, kLongestLineMs = 70.0;

// Uniform in [0, 1), from the generator's own bits: the standard fixes
// those on every platform, where its distributions differ.
double Uniform(std::mt19937& random) { return random() / 4294967296.0; }

bool Prime(std::size_t n)
{
    if (n < 2) return false;
    for (std::size_t d = 2; d * d <= n; ++d)
        if (n % d == 0) return false;
    return true;
}

// In place, over 16 values: the Hadamard matrix scaled to be orthogonal.
void Hadamard(std::array<double, Reverb::kLines>& v)
{
    for (std::size_t half = 1; half < v.size(); half *= 2)
        for (std::size_t i = 0; i < v.size(); i += 2 * half)
            for (std::size_t j = i; j < i + half; ++j) {
                const double a = v[j], b = v[j + half];
                v[j] = a + b;
                v[j + half] = a - b;
            }
    for (double& x : v) x *= 0.25;
}

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

Reverb::Reverb(const RoomReverb& reverb) : on_(reverb.On())
{
    if (!on_) return;
    std::mt19937 random(reverb.seed);
    preDelay_.ring.resize(std::max<std::size_t>(1, std::lround(MsToSamples(reverb.preDelayMs))));
    for (double ms : kDiffuserMs) {
        const double samples = MsToSamples(ms * (0.8 + 0.4 * Uniform(random)));
        diffusers_.push_back({Line{std::vector<double>(std::lround(samples))}, kDiffuserGain});
    }
    std::vector<std::size_t> taken;
    for (int i = 0; i < kLines; ++i) {
        const double ms = kShortestLineMs * std::pow(kLongestLineMs / kShortestLineMs, Uniform(random));
        auto length = static_cast<std::size_t>(std::lround(MsToSamples(ms)));
        while (!Prime(length) || std::find(taken.begin(), taken.end(), length) != taken.end()) ++length;
        taken.push_back(length);
        lines_[i].ring.resize(length);
        loss_[i] = std::pow(10.0, -3.0 * static_cast<double>(length) / (reverb.rt60 * kSampleRate));
        inSign_[i] = random() & 1 ? 1.0 : -1.0;
        outSign_[i] = random() & 1 ? 1.0 : -1.0;
    }
    // The tail's energy for an impulse, up to where it has lost 60 dB
    // (what is left after is a millionth of it).
    double energy = 0.0;
    const auto length = static_cast<long>(std::ceil(reverb.rt60 * kSampleRate)) + std::ssize(preDelay_.ring);
    for (long n = 0; n < length; ++n) energy += std::pow(Run(n == 0 ? 1.0 : 0.0), 2);
    scale_ = std::sqrt(std::pow(10.0, reverb.levelDb / 10.0) / energy);
    Clear();
}

double Reverb::Run(double x)
{
    double sound = preDelay_.Read();
    preDelay_.Write(x);
    for (Diffuser& d : diffusers_) {
        const double late = d.line.Read(), w = sound + d.gain * late;
        d.line.Write(w);
        sound = late - d.gain * w;
    }
    std::array<double, kLines> v;
    for (int i = 0; i < kLines; ++i) v[i] = loss_[i] * lines_[i].Read();
    Hadamard(v);
    // Taken where the lines are fed, so that the tail starts at the
    // pre-delay rather than a line's length after it.
    double y = 0.0;
    for (int i = 0; i < kLines; ++i) {
        v[i] += inSign_[i] * sound;
        lines_[i].Write(v[i]);
        y += outSign_[i] * v[i];
    }
    return y;
}

void Reverb::Clear()
{
    std::fill(preDelay_.ring.begin(), preDelay_.ring.end(), 0.0);
    for (Diffuser& d : diffusers_) std::fill(d.line.ring.begin(), d.line.ring.end(), 0.0);
    for (Line& line : lines_) std::fill(line.ring.begin(), line.ring.end(), 0.0);
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
