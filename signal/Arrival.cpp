#include "Arrival.h"

#include <algorithm>
#include <stdexcept>

namespace {

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

double ArrivalSeconds(const ImpulseResponse& impulse, std::optional<double> lowPassHz)
{
    if (impulse.samples.empty()) throw std::invalid_argument("an empty impulse response has no arrival");
    const std::vector<float> envelope =
        lowPassHz ? LowPassedEnvelope(impulse.samples, impulse.rate, *lowPassHz) : Envelope(impulse.samples);
    return impulse.SecondsAt(PeakIndex(envelope));
}
