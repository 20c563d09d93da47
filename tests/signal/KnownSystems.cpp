#include "tests/signal/KnownSystems.h"

#include <cmath>
#include <numbers>
#include <random>

#include "Fft.h"

namespace {

Biquad Normalised(double b0, double b1, double b2, double a0, double a1, double a2)
{
    return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

double Omega(double rate, double hz) { return 2.0 * std::numbers::pi * hz / rate; }

}  // namespace

Biquad PeakingBell(double rate, double hz, double q, double gainDb)
{
    const double a = std::pow(10.0, gainDb / 40.0), w = Omega(rate, hz), alpha = std::sin(w) / (2.0 * q);
    return Normalised(1 + alpha * a, -2 * std::cos(w), 1 - alpha * a, 1 + alpha / a, -2 * std::cos(w), 1 - alpha / a);
}

Biquad LowPass(double rate, double hz, double q)
{
    const double w = Omega(rate, hz), alpha = std::sin(w) / (2.0 * q), c = std::cos(w);
    return Normalised((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

Biquad HighPass(double rate, double hz, double q)
{
    const double w = Omega(rate, hz), alpha = std::sin(w) / (2.0 * q), c = std::cos(w);
    return Normalised((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

std::vector<Biquad> ButterworthLowPass4(double rate, double hz)
{
    return {LowPass(rate, hz, 0.5412), LowPass(rate, hz, 1.3066)};
}

std::vector<float> Filter(std::span<const float> samples, const std::vector<Biquad>& cascade)
{
    std::vector<double> signal(samples.begin(), samples.end());
    for (const Biquad& f : cascade) {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (double& v : signal) {
            const double y = f.b0 * v + f.b1 * x1 + f.b2 * x2 - f.a1 * y1 - f.a2 * y2;
            x2 = x1, x1 = v, y2 = y1, y1 = y;
            v = y;
        }
    }
    return {signal.begin(), signal.end()};
}

std::complex<double> ResponseAt(const std::vector<Biquad>& cascade, double rate, double hz)
{
    const std::complex<double> z1 = std::polar(1.0, -Omega(rate, hz));
    std::complex<double> h = 1.0;
    for (const Biquad& f : cascade) h *= (f.b0 + f.b1 * z1 + f.b2 * z1 * z1) / (1.0 + f.a1 * z1 + f.a2 * z1 * z1);
    return h;
}

std::vector<float> Delayed(std::span<const float> samples, double delay)
{
    const std::size_t length = samples.size() + static_cast<std::size_t>(std::ceil(delay)) + 1;
    const RealFft fft(PowerOfTwoAtLeast(2 * length));
    std::vector<std::complex<float>> bins = fft.Forward(samples);
    const double size = static_cast<double>(fft.Size());
    for (std::size_t k = 0; k < bins.size(); ++k) {
        // The turn's angle in double and within one turn: the bins' own
        // float precision would lose it.
        const double turns = std::fmod(static_cast<double>(k) * delay, size) / size;
        bins[k] *= std::complex<float>(std::polar(1.0, -2.0 * std::numbers::pi * turns));
    }
    bins.back() = 0.0f;  // Nyquist: no real value turns by a fraction of a sample
    std::vector<float> delayed = fft.Inverse(bins);
    delayed.resize(length);
    return delayed;
}

std::vector<float> WhiteNoise(std::size_t count, double rms, unsigned seed)
{
    std::mt19937 generator(seed);
    std::normal_distribution<double> normal(0.0, rms);
    std::vector<float> noise(count);
    for (float& v : noise) v = static_cast<float>(normal(generator));
    return noise;
}

void MixInto(std::vector<float>& recording, std::span<const float> part, std::size_t at)
{
    if (recording.size() < at + part.size()) recording.resize(at + part.size(), 0.0f);
    for (std::size_t i = 0; i < part.size(); ++i) recording[at + i] += part[i];
}
