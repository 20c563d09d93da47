#include "TraceComparison.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

constexpr double kLowestBandHz = 25.0;
constexpr double kHighestBandHz = 16000.0;

double Median(std::vector<double> values)
{
    if (values.empty()) return 0.0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

double PowerMeanDb(const std::vector<double>& db)
{
    double sum = 0.0;
    for (double d : db) sum += std::pow(10.0, d / 10.0);
    return 10.0 * std::log10(sum / static_cast<double>(db.size()));
}

}  // namespace

double LevelOffset(const LiveTrace& live, std::span<const double> storedDb)
{
    std::vector<double> trusted, all;
    for (std::size_t i = 0; i < live.hz.size(); ++i) {
        if (std::isnan(storedDb[i])) continue;
        all.push_back(live.db[i] - storedDb[i]);
        if (live.coherence[i] >= kTrustedCoherence) trusted.push_back(all.back());
    }
    return Median(trusted.empty() ? all : trusted);
}

std::vector<BandComparison> CompareThirds(const LiveTrace& live, std::span<const double> storedDb)
{
    if (storedDb.size() != live.hz.size())
        throw std::invalid_argument("the stored trace must have a level at each of the live trace's points");
    const double offset = LevelOffset(live, storedDb);
    std::vector<BandComparison> bands;
    const double edge = std::exp2(1.0 / 6.0);
    for (int k = -16; k <= 12; ++k) {
        const double centre = 1000.0 * std::exp2(k / 3.0);
        if (centre < kLowestBandHz * 0.99 || centre > kHighestBandHz * 1.01) continue;
        std::vector<double> deviation, trustedDeviation, reference, stored;
        double coherence = 0.0;
        bool known = true;
        for (std::size_t i = 0; i < live.hz.size(); ++i) {
            if (live.hz[i] < centre / edge || live.hz[i] >= centre * edge || std::isnan(storedDb[i])) continue;
            known = known && live.known[i];
            deviation.push_back(live.db[i] - storedDb[i] - offset);
            if (live.coherence[i] >= kTrustedCoherence) trustedDeviation.push_back(deviation.back());
            coherence += live.coherence[i];
            reference.push_back(live.referenceDb[i]);
            stored.push_back(storedDb[i]);
        }
        if (deviation.empty() || !known) continue;
        const auto& counted = trustedDeviation.empty() ? deviation : trustedDeviation;
        double sum = 0.0;
        for (double d : counted) sum += d;
        bands.push_back({centre, sum / static_cast<double>(counted.size()), coherence / static_cast<double>(deviation.size()),
                         PowerMeanDb(reference), PowerMeanDb(stored)});
    }
    const auto loudest = [&](double BandComparison::*field) {
        double most = -1e300;
        for (const auto& b : bands) most = std::max(most, b.*field);
        for (auto& b : bands) b.*field -= most;
    };
    loudest(&BandComparison::referenceDb);
    loudest(&BandComparison::storedDb);
    return bands;
}
