#include "Sweep.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

#include "Fft.h"

namespace {

void CheckSettings(const SweepSettings& s)
{
    if (!(s.rate > 0.0) || !(s.seconds > 0.0))
        throw std::invalid_argument("the sweep's rate and length must be above 0");
    if (!(s.startHz > 0.0 && s.startHz < s.endHz && s.endHz <= s.rate / 2.0))
        throw std::invalid_argument("the sweep's frequencies must rise within 0 Hz .. half the rate");
    if (!(s.fadeInSeconds >= 0.0 && s.fadeOutSeconds >= 0.0 && s.fadeInSeconds + s.fadeOutSeconds <= s.seconds))
        throw std::invalid_argument("the sweep's fades must fit within it");
    if (!(s.levelDbfs <= 0.0)) throw std::invalid_argument("a sweep cannot be louder than 0 dBFS");
    if (s.levelDbfs > kSweepLoudDbfs && !s.allowLoud)
        throw std::invalid_argument("a sweep above -6 dBFS must be asked for as loud");
}

// ln(endHz / startHz) per second: the sweep's frequency is startHz * exp(rate * t).
double GrowthRate(const SweepSettings& s) { return std::log(s.endHz / s.startHz) / s.seconds; }

// The half-Hann fades at both ends, 1 between them.
double FadeGain(double t, const SweepSettings& s)
{
    const double fromEnd = s.seconds - t;
    if (t < s.fadeInSeconds) return 0.5 * (1.0 - std::cos(std::numbers::pi * t / s.fadeInSeconds));
    if (fromEnd < s.fadeOutSeconds) return 0.5 * (1.0 - std::cos(std::numbers::pi * fromEnd / s.fadeOutSeconds));
    return 1.0;
}

// The scale that brings sweep convolved with `inverse` to 0 dB: the power
// of their product's spectrum averaged well inside the band, where neither
// the fades nor the band's edges ripple it.
double UnityScale(const std::vector<float>& sweep, const std::vector<float>& inverse, const SweepSettings& s)
{
    const RealFft fft(PowerOfTwoAtLeast(2 * sweep.size()));
    const std::vector<std::complex<float>> a = fft.Forward(sweep);
    const std::vector<std::complex<float>> b = fft.Forward(inverse);
    const double binHz = s.rate / static_cast<double>(fft.Size());
    double power = 0.0;
    int bins = 0;
    for (std::size_t k = 1; k < a.size(); ++k) {
        const double hz = static_cast<double>(k) * binHz;
        if (hz < 4.0 * s.startHz || hz > s.endHz / 4.0) continue;
        power += std::norm(std::complex<double>(a[k]) * std::complex<double>(b[k]));
        ++bins;
    }
    return bins > 0 ? 1.0 / std::sqrt(power / bins) : 1.0;
}

}  // namespace

std::size_t SweepLength(const SweepSettings& settings)
{
    return static_cast<std::size_t>(std::llround(settings.seconds * settings.rate));
}

std::vector<float> MakeSweep(const SweepSettings& settings)
{
    CheckSettings(settings);
    const double amplitude = std::pow(10.0, settings.levelDbfs / 20.0);
    const double growth = GrowthRate(settings);
    const double phaseScale = 2.0 * std::numbers::pi * settings.startHz / growth;
    std::vector<float> sweep(SweepLength(settings));
    for (std::size_t n = 0; n < sweep.size(); ++n) {
        const double t = static_cast<double>(n) / settings.rate;
        const double phase = phaseScale * std::expm1(growth * t);
        sweep[n] = static_cast<float>(amplitude * FadeGain(t, settings) * std::sin(phase));
    }
    return sweep;
}

std::vector<float> MakeInverseFilter(const SweepSettings& settings)
{
    const std::vector<float> sweep = MakeSweep(settings);
    const double growth = GrowthRate(settings);
    const std::size_t length = sweep.size();
    std::vector<float> inverse(length);
    for (std::size_t n = 0; n < length; ++n) {
        // The sweep's sample played at t, reversed, weighted by its frequency
        // there over endHz.
        const std::size_t played = length - 1 - n;
        const double t = static_cast<double>(played) / settings.rate;
        inverse[n] = static_cast<float>(sweep[played] * std::exp(growth * (t - settings.seconds)));
    }
    const double scale = UnityScale(sweep, inverse, settings);
    for (float& v : inverse) v = static_cast<float>(v * scale);
    return inverse;
}
