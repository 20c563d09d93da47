#include "tuning/CrossoverSum.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

#include "model/Scales.h"

namespace {

constexpr double kHalfOctave = 1.4142135623730951;
constexpr double kSplitLowestHz = 20.0;
constexpr double kSplitHighestHz = 1000.0;

std::optional<double> CornerHz(int type, int freqStep)
{
    if (type <= 0 || type >= kFilterTypes) return std::nullopt;
    return FreqTable[std::clamp(freqStep, 0, kFreqSteps - 1)];
}

CrossoverRegion AroundCorners(double a, double b, bool fromSettings)
{
    return {std::min(a, b) / kHalfOctave, std::max(a, b) * kHalfOctave, fromSettings};
}

// The grid point below which the Sub (with its level changed by
// `subGain`) is louder and above which the tops are at the most points of
// the split's range.
double MeasuredSplitHz(const SystemMeasurement& m, double subGain)
{
    const std::vector<Complex> tops = TopsSum(m);
    std::vector<std::size_t> points;
    for (std::size_t i = 0; i < m.left.hz.size(); ++i)
        if (m.left.hz[i] >= kSplitLowestHz && m.left.hz[i] <= kSplitHighestHz) points.push_back(i);
    if (points.empty()) throw std::invalid_argument("the measurement holds no point between 20 Hz and 1 kHz");
    // Every point starts on the tops' side; moving the split above a point
    // puts it on the Sub's.
    const auto subLouder = [&](std::size_t i) { return subGain * std::abs(m.sub.response[i]) > std::abs(tops[i]); };
    int wrong = 0;
    for (const std::size_t i : points) wrong += subLouder(i) ? 1 : 0;
    int fewest = wrong;
    double split = m.left.hz[points.front()];
    for (const std::size_t i : points) {
        wrong += subLouder(i) ? -1 : 1;
        if (wrong < fewest) {
            fewest = wrong;
            split = m.left.hz[i];
        }
    }
    return split;
}

}  // namespace

double CrossoverRegion::CentreHz() const { return std::sqrt(lowHz * highHz); }

std::optional<CrossoverRegion> SettingsCrossoverRegion(const ParameterModel& setting)
{
    const bool topsFiltered = setting.xoverOn[kSlotLeftRight] != 0;
    const std::optional<double> high =
        topsFiltered ? CornerHz(setting.hpfType[kSlotLeftRight], setting.hpfFreq[kSlotLeftRight]) : std::nullopt;
    const std::optional<double> low = CornerHz(setting.lpfType[kSlotSub], setting.lpfFreq[kSlotSub]);
    if (!high && !low) return std::nullopt;
    return AroundCorners(high.value_or(*low), low.value_or(*high), true);
}

CrossoverRegion FindCrossoverRegion(const ParameterModel& setting, const SystemMeasurement& measurement,
                                    double subChangeDb)
{
    if (const std::optional<CrossoverRegion> set = SettingsCrossoverRegion(setting)) return *set;
    const double split = MeasuredSplitHz(measurement, std::pow(10.0, subChangeDb / 20.0));
    return AroundCorners(split, split, false);
}

SumFigures SumOver(const CrossoverRegion& region, const std::vector<double>& hz, const std::vector<Complex>& tops,
                   const std::vector<Complex>& sub, const std::vector<Complex>& sum)
{
    SumFigures f;
    f.minDb = f.deepestDipDb = std::numeric_limits<double>::infinity();
    int count = 0;
    for (std::size_t i = 0; i < hz.size(); ++i) {
        if (hz[i] < region.lowHz || hz[i] > region.highHz) continue;
        const double level = LevelDb(sum[i]);
        const double dip = level - std::max(LevelDb(tops[i]), LevelDb(sub[i]));
        f.meanDb += level;
        f.minDb = std::min(f.minDb, level);
        if (dip < f.deepestDipDb) {
            f.deepestDipDb = dip;
            f.deepestDipHz = hz[i];
        }
        ++count;
    }
    if (count == 0) throw std::invalid_argument("the crossover region holds no point of the measurement");
    f.meanDb /= count;
    return f;
}

SumFigures SumOver(const CrossoverRegion& region, const SystemMeasurement& m)
{
    return SumOver(region, m.left.hz, TopsSum(m), m.sub.response, SystemOutput(m).response);
}
