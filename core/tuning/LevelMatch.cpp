#include "tuning/LevelMatch.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "model/Scales.h"

namespace {

constexpr double kBandOctaves = 2.0;
constexpr double kDbPerStep = 0.5;

// The level of the mean power in lowHz..highHz, on the octave scale (the
// grid's): a comb's dips cost no more than its peaks give.
double PowerLevelIn(const std::vector<double>& hz, const std::vector<Complex>& response, double lowHz, double highHz,
                    const char* band)
{
    double sum = 0.0;
    int count = 0;
    for (std::size_t i = 0; i < hz.size(); ++i)
        if (hz[i] >= lowHz && hz[i] <= highHz) {
            sum += std::norm(response[i]);
            ++count;
        }
    if (count == 0) throw std::invalid_argument(std::string("the measurement holds no point in the ") + band + " band");
    return LevelDb(std::sqrt(sum / count));
}

struct BandLevels {
    double topsDb = 0.0, subDb = 0.0;
};

BandLevels BandLevelsOf(const SystemMeasurement& m, const CrossoverRegion& region)
{
    CheckSystemMeasurement(m);
    const double factor = std::exp2(kBandOctaves);
    return {PowerLevelIn(m.left.hz, TopsSum(m), region.highHz, region.highHz * factor, "tops'"),
            PowerLevelIn(m.sub.hz, m.sub.response, region.lowHz / factor, region.lowHz, "Sub's")};
}

LevelMatch MatchLevels(const BandLevels& levels, const ParameterModel& setting, const LevelOptions& options)
{
    LevelMatch match;
    match.topsDb = levels.topsDb;
    match.subDb = levels.subDb;
    match.neededDb = match.topsDb + options.subOffsetDb - match.subDb;

    const int current = setting.gain[kSlotSub];
    const int wanted = current + static_cast<int>(std::lround(match.neededDb / kDbPerStep));
    const int userCeiling =
        current + static_cast<int>(std::floor(std::max(options.maxRiseDb, 0.0) / kDbPerStep + 1e-9));
    const int ceiling = std::min(userCeiling, kGainStepMax);
    match.subGain = std::clamp(wanted, std::min(kGainStepMin, current), std::max(ceiling, current));
    match.limitedByUnit = wanted > kGainStepMax && kGainStepMax < userCeiling;
    match.changeDb = (match.subGain - current) * kDbPerStep;
    if (match.subGain != wanted) match.missingDb = match.neededDb - match.changeDb;
    return match;
}

double PowerDb(double db) { return std::pow(10.0, db / 10.0); }

}  // namespace

LevelMatch MatchSubLevel(const SystemMeasurement& m, const ParameterModel& setting, const CrossoverRegion& region,
                         const LevelOptions& options)
{
    return MatchLevels(BandLevelsOf(m, region), setting, options);
}

LevelMatch MatchSubLevelAtPositions(std::span<const SystemMeasurement> positions, const ParameterModel& setting,
                                    const CrossoverRegion& region, const LevelOptions& options)
{
    if (positions.empty()) throw std::invalid_argument("no position to match the Sub's level at");
    double tops = 0.0, sub = 0.0;
    for (const SystemMeasurement& m : positions) {
        const BandLevels levels = BandLevelsOf(m, region);
        tops += PowerDb(levels.topsDb);
        sub += PowerDb(levels.subDb);
    }
    const auto count = static_cast<double>(positions.size());
    return MatchLevels({10.0 * std::log10(tops / count), 10.0 * std::log10(sub / count)}, setting, options);
}
