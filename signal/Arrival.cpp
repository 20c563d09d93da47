#include "Arrival.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "Fft.h"

namespace {

// The magnitude of a 4th-order Butterworth low-pass.
double LowPassGain(double hz, double cornerHz) { return 1.0 / std::sqrt(1.0 + std::pow(hz / cornerHz, 8.0)); }

// The analytic signal's magnitude, its spectrum weighted by the low-pass's
// magnitude where there is one. Zero-padded to twice the length, so that
// the end does not wrap onto the start.
std::vector<float> AnalyticMagnitude(std::span<const float> samples, double rate, std::optional<double> lowPassHz)
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
        const double gain = lowPassHz ? LowPassGain(hz, *lowPassHz) : 1.0;
        analytic[k] = half[k] * weight * static_cast<float>(gain);
    }
    const std::vector<std::complex<float>> signal = ComplexInverseFft(size).Inverse(analytic);
    std::vector<float> magnitude(samples.size());
    std::transform(signal.begin(), signal.begin() + static_cast<std::ptrdiff_t>(samples.size()), magnitude.begin(),
                   [](std::complex<float> z) { return std::abs(z); });
    return magnitude;
}

// The index of the highest value, between samples by the parabola through
// it and its neighbours.
double PeakIndex(const std::vector<float>& values)
{
    const auto highest = std::max_element(values.begin(), values.end());
    const auto i = static_cast<std::size_t>(highest - values.begin());
    if (i == 0 || i + 1 == values.size()) return static_cast<double>(i);
    const double before = values[i - 1], at = values[i], after = values[i + 1];
    const double curvature = before - 2.0 * at + after;
    const double offset = curvature < 0.0 ? 0.5 * (before - after) / curvature : 0.0;
    return static_cast<double>(i) + offset;
}

}  // namespace

std::vector<float> Envelope(std::span<const float> samples) { return AnalyticMagnitude(samples, 1.0, std::nullopt); }

double ArrivalSeconds(const ImpulseResponse& impulse, std::optional<double> lowPassHz)
{
    if (impulse.samples.empty()) throw std::invalid_argument("an empty impulse response has no arrival");
    return impulse.SecondsAt(PeakIndex(AnalyticMagnitude(impulse.samples, impulse.rate, lowPassHz)));
}
