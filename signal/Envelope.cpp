#include "Envelope.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "Fft.h"

namespace {

// The magnitude of a 4th-order Butterworth low-pass.
double LowPassGain(double hz, double cornerHz) { return 1.0 / std::sqrt(1.0 + std::pow(hz / cornerHz, 8.0)); }

// The analytic signal's magnitude, its spectrum weighted by the low-pass's
// magnitude where there is one. Zero-padded to twice the length, so that
// the end does not wrap onto the start.
std::vector<float> AnalyticMagnitude(std::span<const float> samples, double rate, std::optional<double> cornerHz)
{
    if (samples.empty()) return {};
    const RealFft fft(PowerOfTwoAtLeast(2 * samples.size()));
    const std::size_t size = fft.Size();
    const std::vector<std::complex<float>> half = fft.Forward(samples);
    // The analytic signal: no negative frequencies, the positive ones doubled.
    std::vector<std::complex<float>> analytic(size);
    for (std::size_t k = 0; k <= size / 2; ++k) {
        const float weight = (k == 0 || k == size / 2) ? 1.0f : 2.0f;
        const double hz = static_cast<double>(k) * rate / static_cast<double>(size);
        const double gain = cornerHz ? LowPassGain(hz, *cornerHz) : 1.0;
        analytic[k] = half[k] * weight * static_cast<float>(gain);
    }
    const std::vector<std::complex<float>> signal = ComplexInverseFft(size).Inverse(analytic);
    std::vector<float> magnitude(samples.size());
    std::transform(signal.begin(), signal.begin() + static_cast<std::ptrdiff_t>(samples.size()), magnitude.begin(),
                   [](std::complex<float> z) { return std::abs(z); });
    return magnitude;
}

}  // namespace

std::vector<float> Envelope(std::span<const float> samples) { return AnalyticMagnitude(samples, 1.0, std::nullopt); }

std::vector<float> LowPassedEnvelope(std::span<const float> samples, double rate, double cornerHz)
{
    return AnalyticMagnitude(samples, rate, cornerHz);
}
