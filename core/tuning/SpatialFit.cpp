#include "tuning/SpatialFit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

#include "model/Scales.h"

namespace {

double Power(double db) { return std::pow(10.0, db / 10.0); }

void CheckPositions(std::span<const LevelCurve> positions)
{
    if (positions.empty()) throw std::invalid_argument("no position to average");
    for (const LevelCurve& position : positions)
        if (position.hz != positions.front().hz || position.db.size() != position.hz.size())
            throw std::invalid_argument("the positions are measured on grids that differ");
}

// Each position's smoothed level at the range's steps, all of them and the
// target covered; the steps' numbers in `steps`.
struct StepLevels {
    std::vector<int> steps;
    std::vector<std::vector<double>> positions;  // [position][i]
    std::vector<double> target;                  // [i]
};

StepLevels LevelsAtSteps(const FitOptions& options, std::span<const LevelCurve> positions)
{
    StepLevels out;
    out.positions.resize(positions.size());
    for (int k = FreqIndexFromHz(options.lowHz); k < kFreqSteps && FreqTable[k] <= options.highHz; ++k) {
        std::optional<double> target = options.target ? SmoothedAtStep(*options.target, k) : 0.0;
        std::vector<double> levels;
        for (const LevelCurve& position : positions)
            if (std::optional<double> level = SmoothedAtStep(position, k)) levels.push_back(*level);
        if (!target || levels.size() != positions.size()) continue;
        out.steps.push_back(k);
        out.target.push_back(*target);
        for (std::size_t p = 0; p < positions.size(); ++p) out.positions[p].push_back(levels[p]);
    }
    return out;
}

// Each position moved to the positions' mean level over the steps, and the
// target moved to it too.
void ToOneLevel(StepLevels& levels)
{
    double all = 0.0;
    for (const std::vector<double>& position : levels.positions) all += Mean(position);
    all /= static_cast<double>(levels.positions.size());
    for (std::vector<double>& position : levels.positions) {
        const double shift = all - Mean(position);
        for (double& db : position) db += shift;
    }
    const double targetShift = all - Mean(levels.target);
    for (double& db : levels.target) db += targetShift;
}

std::vector<double> Filled(const std::vector<double>& given, double limit)
{
    return given.empty() ? std::vector<double>(kFreqSteps, limit) : given;
}

}  // namespace

std::vector<LevelCurve> LevelsAtPositions(std::span<const SystemMeasurement> positions,
                                          const std::function<MeasuredResponse(const SystemMeasurement&)>& output)
{
    std::vector<LevelCurve> levels;
    for (const SystemMeasurement& position : positions) levels.push_back(LevelsOf(output(position)));
    return levels;
}

SpatialLevels LevelsOverPositions(std::span<const LevelCurve> positions)
{
    CheckPositions(positions);
    SpatialLevels out;
    out.mean.hz = positions.front().hz;
    for (std::size_t i = 0; i < out.mean.hz.size(); ++i) {
        double power = 0.0, loudest = -std::numeric_limits<double>::infinity();
        double quietest = std::numeric_limits<double>::infinity();
        for (const LevelCurve& position : positions) {
            power += Power(position.db[i]);
            loudest = std::max(loudest, position.db[i]);
            quietest = std::min(quietest, position.db[i]);
        }
        out.mean.db.push_back(10.0 * std::log10(power / static_cast<double>(positions.size())));
        out.spreadDb.push_back(loudest - quietest);
    }
    return out;
}

FitOptions SpatialFitOptions(const FitOptions& options, std::span<const LevelCurve> positions)
{
    CheckPositions(positions);
    StepLevels levels = LevelsAtSteps(options, positions);
    ToOneLevel(levels);
    FitOptions out = options;
    out.holdLevel = true;
    out.boostLimitAtStep = Filled(options.boostLimitAtStep, options.maxBoostDb);
    out.cutLimitAtStep = Filled(options.cutLimitAtStep, options.maxCutDb);
    for (std::size_t i = 0; i < levels.steps.size(); ++i) {
        double loudest = -std::numeric_limits<double>::infinity(), quietest = std::numeric_limits<double>::infinity();
        for (const std::vector<double>& position : levels.positions) {
            loudest = std::max(loudest, position[i]);
            quietest = std::min(quietest, position[i]);
        }
        const auto k = static_cast<std::size_t>(levels.steps[i]);
        if (loudest - quietest > kPositionsDisagreeDb) out.boostLimitAtStep[k] = 0.0;
        // The peak every position has: the least excess over the target.
        const double shared = quietest - levels.target[i];
        out.cutLimitAtStep[k] = std::min(out.cutLimitAtStep[k], std::max(kUnsharedCutDb, shared));
    }
    return out;
}

FitResult FitPeqAtPositions(std::span<const LevelCurve> positions, const FitOptions& options)
{
    return FitPeq(LevelsOverPositions(positions).mean, SpatialFitOptions(options, positions));
}

FitResult FittedAtPositionsWith(std::span<const LevelCurve> positions, const FitOptions& options, const PeqBands& bands)
{
    return FittedWith(LevelsOverPositions(positions).mean, SpatialFitOptions(options, positions), bands);
}
