#include "tuning/SystemMeasurement.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace {

// Far below any measurement: the level of a point that measured nothing.
constexpr double kSilenceDb = -300.0;

void CheckOutput(const MeasuredResponse& output, const std::vector<double>& grid, const char* name)
{
    if (output.hz != grid || output.response.size() != grid.size())
        throw std::invalid_argument(std::string("the ") + name + " measurement is not on the left one's frequencies");
}

}  // namespace

double LevelDb(Complex h) { return PowerLevelDb(std::norm(h)); }

double PowerLevelDb(double power) { return std::max(10.0 * std::log10(power), kSilenceDb); }

void CheckSystemMeasurement(const SystemMeasurement& m)
{
    const std::vector<double>& grid = m.left.hz;
    if (grid.size() < static_cast<std::size_t>(kCurveLeastPoints) || grid.front() <= 0.0 ||
        !std::is_sorted(grid.begin(), grid.end(), std::less_equal<>()))
        throw std::invalid_argument("the measurement needs at least " + std::to_string(kCurveLeastPoints) +
                                    " rising frequencies above 0 Hz");
    CheckOutput(m.left, grid, "left");
    CheckOutput(m.right, grid, "right");
    CheckOutput(m.sub, grid, "sub");
    if (!m.system.hz.empty()) CheckOutput(m.system, grid, "system");
}

LevelCurve LevelsOf(const MeasuredResponse& output)
{
    LevelCurve m{output.hz, {}};
    for (const Complex h : output.response) m.db.push_back(LevelDb(h));
    return m;
}

LevelCurve PowerMeanLevels(const MeasuredResponse& a, const MeasuredResponse& b)
{
    return PowerMeanLevels(LevelsOf(a), LevelsOf(b));
}

LevelCurve PowerMeanLevels(const LevelCurve& a, const LevelCurve& b)
{
    LevelCurve m{a.hz, {}};
    m.db.reserve(a.db.size());
    for (std::size_t i = 0; i < a.db.size(); ++i)
        m.db.push_back(PowerLevelDb((std::pow(10.0, a.db[i] / 10.0) + std::pow(10.0, b.db[i] / 10.0)) / 2.0));
    return m;
}

std::vector<Complex> TopsSum(const SystemMeasurement& m)
{
    std::vector<Complex> sum(m.left.response.size());
    for (std::size_t i = 0; i < sum.size(); ++i) sum[i] = m.left.response[i] + m.right.response[i];
    return sum;
}

MeasuredResponse SystemOutput(const SystemMeasurement& m)
{
    if (!m.system.hz.empty()) return m.system;
    MeasuredResponse sum = m.left;
    const std::vector<Complex> tops = TopsSum(m);
    for (std::size_t i = 0; i < sum.response.size(); ++i) sum.response[i] = tops[i] + m.sub.response[i];
    sum.arrivalMs = std::min({m.left.arrivalMs, m.right.arrivalMs, m.sub.arrivalMs});
    return sum;
}
