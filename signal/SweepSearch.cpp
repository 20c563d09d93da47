#include "SweepSearch.h"

#include <algorithm>
#include <cmath>

namespace {

// The median magnitude of Gaussian noise is 0.674 of its RMS.
constexpr double kMedianToRms = 1.0 / 0.6745;

double MedianMagnitude(std::span<const float> window)
{
    std::vector<float> magnitudes(window.size());
    std::transform(window.begin(), window.end(), magnitudes.begin(), [](float v) { return std::fabs(v); });
    const auto middle = magnitudes.begin() + static_cast<std::ptrdiff_t>(magnitudes.size() / 2);
    std::nth_element(magnitudes.begin(), middle, magnitudes.end());
    return *middle;
}

std::optional<FoundSweep> Search(const Deconvolved& deconvolved, std::size_t playOffset, const SweepSearch& search)
{
    const std::size_t first = deconvolved.TimeZeroOf(playOffset);
    if (first >= deconvolved.samples.size()) return std::nullopt;
    const std::size_t count = std::min(search.maxLatency + 1, deconvolved.samples.size() - first);
    const std::span<const float> window(deconvolved.samples.data() + first, count);
    const auto highest =
        std::max_element(window.begin(), window.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); });
    const double peak = std::fabs(*highest);
    const double noise = MedianMagnitude(window) * kMedianToRms;
    if (!(peak > 0.0)) return std::nullopt;
    const double overNoise = noise > 0.0 ? 20.0 * std::log10(peak / noise) : 400.0;
    if (overNoise < search.leastPeakOverNoiseDb) return std::nullopt;
    const std::size_t latency = static_cast<std::size_t>(highest - window.begin());
    return FoundSweep{playOffset + latency, first + latency, overNoise};
}

}  // namespace

std::vector<std::optional<FoundSweep>> FindSweeps(const Deconvolved& deconvolved,
                                                  std::span<const std::size_t> playOffsets, const SweepSearch& search)
{
    std::vector<std::optional<FoundSweep>> found;
    for (std::size_t offset : playOffsets) found.push_back(Search(deconvolved, offset, search));
    return found;
}
