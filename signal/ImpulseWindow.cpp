#include "ImpulseWindow.h"

#include <algorithm>
#include <cmath>
#include <numbers>

ImpulseWindowShape TopsWindow() { return {0.02, 0.1, 0.1}; }
ImpulseWindowShape SubWindow() { return {0.1, 0.3, 0.3}; }

double HarmonicLeadSeconds(double seconds, double startHz, double endHz, int harmonic)
{
    return seconds * std::log(static_cast<double>(harmonic)) / std::log(endHz / startHz);
}

namespace {

// Rises from 0 (at 0) to 1 (at 1).
double HalfHann(double x) { return 0.5 * (1.0 - std::cos(std::numbers::pi * x)); }

}  // namespace

ImpulseResponse CutImpulse(const Deconvolved& deconvolved, std::size_t peak, double timeZero, double rate,
                           const ImpulseWindowShape& shape)
{
    const auto fadeIn = static_cast<std::ptrdiff_t>(std::llround(shape.fadeInSeconds * rate));
    const auto flat = static_cast<std::ptrdiff_t>(std::llround(shape.flatSeconds * rate));
    const auto fadeOut = static_cast<std::ptrdiff_t>(std::llround(shape.fadeOutSeconds * rate));
    const auto size = static_cast<std::ptrdiff_t>(deconvolved.samples.size());
    const auto at = static_cast<std::ptrdiff_t>(peak);
    const std::ptrdiff_t first = std::max<std::ptrdiff_t>(0, at - fadeIn);
    const std::ptrdiff_t end = std::min(size, at + flat + fadeOut);

    ImpulseResponse impulse;
    impulse.rate = rate;
    impulse.startSeconds = (static_cast<double>(first) - timeZero) / rate;
    for (std::ptrdiff_t i = first; i < end; ++i) {
        double gain = 1.0;
        if (i < at) gain = HalfHann(static_cast<double>(i - (at - fadeIn)) / static_cast<double>(fadeIn));
        const std::ptrdiff_t intoFade = i - (at + flat);
        if (intoFade > 0) gain = HalfHann(1.0 - static_cast<double>(intoFade) / static_cast<double>(fadeOut));
        impulse.samples.push_back(static_cast<float>(deconvolved.samples[static_cast<std::size_t>(i)] * gain));
    }
    return impulse;
}
