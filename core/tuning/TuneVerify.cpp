#include "tuning/TuneVerify.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "tuning/SpatialFit.h"
#include "tuning/TuningText.h"

namespace {

struct OutputLevels {
    const char* name;
    LevelCurve before, predicted, after;
    FitOptions options;
};

// The largest difference of the smoothed levels over the options' range.
void LargestMiss(const OutputLevels& o, OutputCheck& check)
{
    const int last = FreqIndexFromHz(o.options.highHz);
    for (int k = FreqIndexFromHz(o.options.lowHz); k <= last; ++k) {
        const std::optional<double> after = SmoothedAtStep(o.after, k), predicted = SmoothedAtStep(o.predicted, k);
        if (!after || !predicted || FreqTable[k] > o.options.highHz) continue;
        if (std::fabs(*after - *predicted) > std::fabs(check.largestMissDb)) {
            check.largestMissDb = *after - *predicted;
            check.largestMissHz = FreqTable[k];
        }
    }
}

// NaN where the output's band holds too little of the range, as for a
// channel the proposal could not fit.
double RmsOrNan(const LevelCurve& m, const FitOptions& options)
{
    if (!(options.highHz > options.lowHz)) return std::numeric_limits<double>::quiet_NaN();
    try {
        return DeviationRms(m, options);
    } catch (const TuningFileError&) {
        return std::numeric_limits<double>::quiet_NaN();
    }
}

OutputCheck Check(const OutputLevels& o)
{
    OutputCheck check{o.name};
    check.rmsBeforeDb = RmsOrNan(o.before, o.options);
    check.rmsAfterDb = RmsOrNan(o.after, o.options);
    LargestMiss(o, check);
    return check;
}

std::vector<LevelCurve> SystemLevels(std::span<const SystemMeasurement> positions)
{
    std::vector<LevelCurve> levels;
    for (const SystemMeasurement& m : positions) {
        CheckSystemMeasurement(m);
        levels.push_back(LevelsOf(SystemOutput(m)));
    }
    return levels;
}

}  // namespace

SpatialVerification VerifyAtPositions(std::span<const SystemMeasurement> before,
                                      std::span<const SystemMeasurement> after, const CrossoverRegion& region,
                                      const FitOptions& options)
{
    if (before.empty() || before.size() != after.size())
        throw std::invalid_argument("the positions before and after must be the same, one or more");
    const std::vector<LevelCurve> levelsBefore = SystemLevels(before), levelsAfter = SystemLevels(after);
    SpatialVerification v;
    for (std::size_t p = 0; p < before.size(); ++p) {
        const PositionCheck check{RmsOrNan(levelsBefore[p], options), RmsOrNan(levelsAfter[p], options),
                                  SumOver(region, before[p]), SumOver(region, after[p])};
        v.positions.push_back(check);
        if (check.rmsAfterDb > check.rmsBeforeDb + kWorsePositionDb) v.worse.push_back(static_cast<int>(p) + 1);
    }
    v.averageRmsBeforeDb = RmsOrNan(LevelsOverPositions(levelsBefore).mean, options);
    v.averageRmsAfterDb = RmsOrNan(LevelsOverPositions(levelsAfter).mean, options);
    return v;
}

TuneVerification VerifyTuning(const SystemMeasurement& before, const SystemMeasurement& predicted,
                              const SystemMeasurement& after, const ParameterModel& setting,
                              const CrossoverRegion& region, const FitOptions& options)
{
    CheckSystemMeasurement(before);
    CheckSystemMeasurement(predicted);
    CheckSystemMeasurement(after);
    const std::vector<double>& hz = before.left.hz;
    const FitOptions tops = ChannelFitOptions(options, setting, kSlotLeftRight, region, hz);
    const FitOptions sub = ChannelFitOptions(options, setting, kSlotSub, region, hz);
    const OutputLevels outputs[] = {
        {"left", LevelsOf(before.left), LevelsOf(predicted.left), LevelsOf(after.left), tops},
        {"right", LevelsOf(before.right), LevelsOf(predicted.right), LevelsOf(after.right), tops},
        {"sub", LevelsOf(before.sub), LevelsOf(predicted.sub), LevelsOf(after.sub), sub},
        {"system", LevelsOf(SystemOutput(before)), LevelsOf(SystemOutput(predicted)), LevelsOf(SystemOutput(after)),
         options},
    };
    TuneVerification v;
    for (const OutputLevels& o : outputs) {
        v.outputs.push_back(Check(o));
        const double miss = std::fabs(v.outputs.back().largestMissDb);
        v.missesPrediction = v.missesPrediction || miss > kPredictionMissDb;
        v.secondPassDue = v.secondPassDue || miss > kSecondPassDb;
    }
    v.crossoverSum = SumOver(region, after);
    return v;
}

TuneVerification VerifyTuningAtPositions(std::span<const SystemMeasurement> before,
                                         std::span<const SystemMeasurement> predicted,
                                         std::span<const SystemMeasurement> after, const ParameterModel& setting,
                                         const CrossoverRegion& region, const FitOptions& options)
{
    if (before.empty() || predicted.size() != before.size() || after.size() != before.size())
        throw std::invalid_argument("the positions before, predicted and after must be the same, one or more");
    TuneVerification first = VerifyTuning(before[0], predicted[0], after[0], setting, region, options);
    for (std::size_t p = 1; p < before.size(); ++p) {
        const TuneVerification there = VerifyTuning(before[p], predicted[p], after[p], setting, region, options);
        first.missesPrediction = first.missesPrediction || there.missesPrediction;
        first.secondPassDue = first.secondPassDue || there.secondPassDue;
    }
    return first;
}
