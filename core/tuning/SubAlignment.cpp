#include "tuning/SubAlignment.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/Scales.h"
#include "tuning/SoundModel.h"

namespace {

// The region's points: tops and the Sub as measured, the Sub with the level change.
struct RegionPoints {
    std::vector<double> hz;
    std::vector<Complex> tops, sub;
};

RegionPoints PointsIn(const CrossoverRegion& region, const SystemMeasurement& m, double subGain)
{
    RegionPoints p;
    const std::vector<Complex> tops = TopsSum(m);
    for (std::size_t i = 0; i < m.left.hz.size(); ++i) {
        if (m.left.hz[i] < region.lowHz || m.left.hz[i] > region.highHz) continue;
        p.hz.push_back(m.left.hz[i]);
        p.tops.push_back(tops[i]);
        p.sub.push_back(m.sub.response[i] * subGain);
    }
    return p;
}

// The sum with the Sub moved by `extraSteps` and its sign changed or not.
SumFigures SumWith(const CrossoverRegion& region, const RegionPoints& p, double extraSteps, bool flipped)
{
    std::vector<Complex> sub(p.sub.size()), sum(p.sub.size());
    for (std::size_t i = 0; i < sub.size(); ++i) {
        sub[i] = (flipped ? -1.0 : 1.0) * p.sub[i] * DelaySound(extraSteps, p.hz[i]);
        sum[i] = p.tops[i] + sub[i];
    }
    return SumOver(region, p.hz, p.tops, sub, sum);
}

// Louder, or as loud with a shorter delay.
bool Better(const AlignmentCandidate& a, const AlignmentCandidate& b)
{
    constexpr double kSame = 1e-9;
    if (std::fabs(a.meanDb - b.meanDb) > kSame) return a.meanDb > b.meanDb;
    return a.DelaySteps() < b.DelaySteps();
}

// Shorter, or as short and louder.
bool Shorter(const AlignmentCandidate& a, const AlignmentCandidate& b)
{
    if (a.DelaySteps() != b.DelaySteps()) return a.DelaySteps() < b.DelaySteps();
    return a.meanDb > b.meanDb;
}

}  // namespace

Alignment AlignSub(const SystemMeasurement& measurement, const ParameterModel& setting, const CrossoverRegion& region,
                   double subLevelChangeDb)
{
    CheckSystemMeasurement(measurement);
    const RegionPoints points = PointsIn(region, measurement, std::pow(10.0, subLevelChangeDb / 20.0));
    const bool inverted = setting.polarity[kSlotSub] != 0;
    const int currentRelative = setting.delay[kSlotSub] - setting.delay[kSlotLeftRight];

    AlignmentCandidate best[2];  // by polarity: as it is, reversed
    for (const bool flipped : {false, true}) {
        AlignmentCandidate& b = best[flipped ? 1 : 0];
        b.meanDb = -std::numeric_limits<double>::infinity();
        for (int r = -kDelayStepMax; r <= kDelayStepMax; ++r) {
            const AlignmentCandidate c{r, inverted != flipped,
                                       SumWith(region, points, r - currentRelative, flipped).meanDb};
            if (Better(c, b)) b = c;
        }
    }
    Alignment a;
    const bool tie = std::fabs(best[0].meanDb - best[1].meanDb) <= kAlignmentTieDb;
    const int pick = (tie ? Shorter(best[1], best[0]) : Better(best[1], best[0])) ? 1 : 0;
    a.chosen = best[pick];
    a.otherPolarity = best[1 - pick];
    a.otherAsGood = tie;
    a.polarityReversed = pick == 1;
    a.subDelay = std::max(a.chosen.relativeSteps, 0);
    a.lrDelay = std::max(-a.chosen.relativeSteps, 0);
    a.before = SumWith(region, PointsIn(region, measurement, 1.0), 0.0, false);
    a.after = SumWith(region, points, a.chosen.relativeSteps - currentRelative, a.polarityReversed);
    return a;
}
