#include "tuning/SubAlignment.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

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

// How well tops and Sub add at one position.
struct Judgement {
    double worthDb = 0.0;  // over the region, the mean of the sum less the louder of the two
    double deepestDipDb = 0.0;
};

// With the Sub moved and its sign changed or not.
Judgement Judge(const RegionPoints& p, double extraSteps, bool flipped)
{
    Judgement judged{0.0, std::numeric_limits<double>::infinity()};
    for (std::size_t i = 0; i < p.hz.size(); ++i) {
        const Complex sub = (flipped ? -1.0 : 1.0) * p.sub[i] * DelaySound(extraSteps, p.hz[i]);
        const double db =
            PowerLevelDb(std::norm(p.tops[i] + sub)) - PowerLevelDb(std::max(std::norm(p.tops[i]), std::norm(sub)));
        judged.worthDb += db;
        judged.deepestDipDb = std::min(judged.deepestDipDb, db);
    }
    judged.worthDb /= static_cast<double>(p.hz.size());
    return judged;
}

bool Clear(double deepestDipDb) { return deepestDipDb >= -kAlignmentDipDb; }

// Without a dip deeper than kAlignmentDipDb against one with, else Better.
bool FaresBetter(const AlignmentCandidate& a, const AlignmentCandidate& b)
{
    if (Clear(a.deepestDipDb) != Clear(b.deepestDipDb)) return Clear(a.deepestDipDb);
    return Better(a, b);
}

// Each position's points in the region, the Sub with its level change.
std::vector<RegionPoints> PointsAt(std::span<const SystemMeasurement> positions, const CrossoverRegion& region,
                                   double subGain)
{
    std::vector<RegionPoints> points;
    for (const SystemMeasurement& m : positions) {
        CheckSystemMeasurement(m);
        points.push_back(PointsIn(region, m, subGain));
        if (points.back().hz.empty()) throw std::invalid_argument("the crossover region holds no point of the grid");
    }
    return points;
}

}  // namespace

SpatialAlignment AlignSubAtPositions(std::span<const SystemMeasurement> positions, const ParameterModel& setting,
                                     const CrossoverRegion& region, double subLevelChangeDb)
{
    if (positions.empty()) throw std::invalid_argument("no position to align the Sub at");
    const std::vector<RegionPoints> points = PointsAt(positions, region, std::pow(10.0, subLevelChangeDb / 20.0));
    const bool inverted = setting.polarity[kSlotSub] != 0;
    const int currentRelative = setting.delay[kSlotSub] - setting.delay[kSlotLeftRight];

    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    SpatialAlignment a;
    a.chosen.meanDb = a.chosen.deepestDipDb = -kInfinity;  // none yet: any candidate is better
    a.positions.resize(positions.size());
    for (PositionSum& position : a.positions) position.own.meanDb = position.own.deepestDipDb = -kInfinity;
    for (const bool flipped : {false, true})
        for (int r = -kDelayStepMax; r <= kDelayStepMax; ++r) {
            AlignmentCandidate c{r, inverted != flipped, kInfinity, kInfinity};  // the least over the positions
            for (std::size_t p = 0; p < points.size(); ++p) {
                const Judgement judged = Judge(points[p], r - currentRelative, flipped);
                c.meanDb = std::min(c.meanDb, judged.worthDb);
                c.deepestDipDb = std::min(c.deepestDipDb, judged.deepestDipDb);
                const AlignmentCandidate here{r, c.subInverted, judged.worthDb, judged.deepestDipDb};
                if (FaresBetter(here, a.positions[p].own)) a.positions[p].own = here;
            }
            if (FaresBetter(c, a.chosen)) {
                a.chosen = c;
                a.polarityReversed = flipped;
            }
        }
    a.subDelay = std::max(a.chosen.relativeSteps, 0);
    a.lrDelay = std::max(-a.chosen.relativeSteps, 0);
    const double extra = a.chosen.relativeSteps - currentRelative;
    for (std::size_t p = 0; p < points.size(); ++p) {
        PositionSum& position = a.positions[p];
        const RegionPoints asItIs = PointsIn(region, positions[p], 1.0);
        position.before = SumWith(region, asItIs, 0.0, false);
        position.worthBeforeDb = Judge(asItIs, 0.0, false).worthDb;
        position.after = SumWith(region, points[p], extra, a.polarityReversed);
        position.worthAfterDb = Judge(points[p], extra, a.polarityReversed).worthDb;
        position.anotherBetter = (Clear(position.own.deepestDipDb) && !Clear(position.after.deepestDipDb)) ||
                                 position.own.meanDb > position.worthAfterDb + kAlignmentTieDb;
    }
    return a;
}

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
