#include "tuning/TuneVerify.h"

#include <cmath>
#include <limits>

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

}  // namespace

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
