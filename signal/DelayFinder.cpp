#include "DelayFinder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// How far the peak must stand above the response's RMS (20 dB).
constexpr double kPeakOverRms = 10.0;

std::size_t FinderLength(double rate)
{
    if (!(rate > 0.0)) throw std::invalid_argument("the delay finder needs a rate above 0");
    return PowerOfTwoAtLeast(static_cast<std::size_t>(std::ceil(2.0 * kDelayRangeSeconds * rate)));
}

}  // namespace

DelayFinder::DelayFinder(double rate, double averageSeconds)
    : rate_(rate), spectra_(FinderLength(rate), rate, averageSeconds), inverse_(FinderLength(rate))
{
}

void DelayFinder::Add(std::span<const float> reference, std::span<const float> measured)
{
    spectra_.Add(reference, measured);
}

std::optional<double> DelayFinder::Delay() const
{
    if (spectra_.AveragedFrames() == 0.0) return std::nullopt;
    const auto& gxx = spectra_.Gxx();
    const auto& gxy = spectra_.Gxy();
    // Gxy / Gxx, held back where the reference has next to nothing (music
    // leaves whole bands empty) so that those bins do not swamp the rest.
    double mean = 0.0;
    for (double g : gxx) mean += g;
    mean /= static_cast<double>(gxx.size());
    if (!(mean > 0.0)) return std::nullopt;
    std::vector<std::complex<float>> bins(gxx.size());
    for (std::size_t k = 0; k < bins.size(); ++k)
        bins[k] = std::complex<float>(gxy[k] / (gxx[k] + 1e-3 * mean));
    const std::vector<float> h = inverse_.Inverse(bins);

    const std::size_t n = h.size();
    std::size_t peak = 0;
    double energy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        energy += static_cast<double>(h[i]) * h[i];
        if (std::abs(h[i]) > std::abs(h[peak])) peak = i;
    }
    const double rms = std::sqrt(energy / static_cast<double>(n));
    const double top = std::abs(h[peak]);
    if (!(top > kPeakOverRms * rms)) return std::nullopt;

    const double before = std::abs(h[(peak + n - 1) % n]);
    const double after = std::abs(h[(peak + 1) % n]);
    const double curve = before - 2.0 * top + after;
    const double offset = curve < 0.0 ? 0.5 * (before - after) / curve : 0.0;
    // The response is circular: the second half stands for negative delays.
    const double at = static_cast<double>(peak) + offset;
    const double samples = at > static_cast<double>(n) / 2.0 ? at - static_cast<double>(n) : at;
    return samples / rate_;
}

bool DelayTracker::Look(std::optional<double> found, double nowSeconds)
{
    if (!found) return false;
    if (!current_) {
        current_ = found;
        return true;
    }
    if (std::abs(*found - *current_) <= kDelayChangeSeconds) {
        candidate_.reset();
        return false;
    }
    if (!candidate_ || std::abs(*found - *candidate_) > kDelayChangeSeconds) {
        candidate_ = found;
        candidateSince_ = nowSeconds;
        return false;
    }
    if (nowSeconds - candidateSince_ < kDelayHoldSeconds) return false;
    current_ = candidate_;
    candidate_.reset();
    return true;
}
