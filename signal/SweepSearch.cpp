#include "SweepSearch.h"

#include <algorithm>
#include <cmath>

#include "Envelope.h"

namespace {

// The envelope of Gaussian noise has its median at 1.177 times the noise's RMS.
constexpr double kMedianToRms = 1.0 / 1.1774;
// What a window of digital silence but for its one peak reads.
constexpr double kNoNoiseDb = 400.0;

double Median(std::vector<float> values)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace

std::optional<FoundSweep> FindSweep(const Deconvolved& deconvolved, std::size_t playOffset, const SweepSearch& search)
{
    const std::size_t first = deconvolved.TimeZeroOf(playOffset);
    if (first >= deconvolved.samples.size()) return std::nullopt;
    const std::size_t count = std::min(search.maxLatency + 1, deconvolved.samples.size() - first);
    const std::span<const float> window(deconvolved.samples.data() + first, count);
    const std::vector<float> envelope =
        search.lowPassHz ? LowPassedEnvelope(window, search.rate, *search.lowPassHz) : Envelope(window);
    const auto highest = std::max_element(envelope.begin(), envelope.end());
    const double peak = *highest;
    if (!(peak > 0.0)) return std::nullopt;
    const double noise = Median(envelope) * kMedianToRms;
    const double overNoise = noise > 0.0 ? 20.0 * std::log10(peak / noise) : kNoNoiseDb;
    if (overNoise < search.leastPeakOverNoiseDb) return std::nullopt;
    const auto latency = static_cast<std::size_t>(highest - envelope.begin());
    return FoundSweep{playOffset + latency, first + latency, overNoise};
}

std::vector<std::optional<FoundSweep>> FindSweeps(const Deconvolved& deconvolved,
                                                  std::span<const std::size_t> playOffsets, const SweepSearch& search)
{
    std::vector<std::optional<FoundSweep>> found;
    for (std::size_t offset : playOffsets) found.push_back(FindSweep(deconvolved, offset, search));
    return found;
}
