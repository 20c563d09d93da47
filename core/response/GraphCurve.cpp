#include "response/GraphCurve.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

struct CurvePoint {
    int y;
    bool nearImage;  // false: only moved to, never joined by a line
};

// The row of a level, rounded by `round` (floor or ceil); empty when the
// level is not a finite number.
template <typename Round>
std::optional<CurvePoint> CurveRow(double dB, Round round)
{
    const double y = round(30.0 + 5.0 * (12.0 - dB));
    if (!std::isfinite(y)) return std::nullopt;
    const double clamped = std::clamp(y, double(-kCurveFarOutside), double(kGraphHeight + kCurveFarOutside));
    return CurvePoint{static_cast<int>(clamped), clamped == y};
}

struct Pen {
    int x = 0, y = 0;
    bool down = false;  // false: nothing to draw a line from
};

}  // namespace

std::vector<CurveSegment> CurveSegments(std::span<const double> response)
{
    std::vector<CurveSegment> segments;
    const int steps = std::min<int>(static_cast<int>(response.size()), kPlotRight - kPlotLeft);
    if (steps < 2) return segments;
    segments.reserve(static_cast<std::size_t>(steps));
    const auto ceilRow = [](double v) { return std::ceil(v); };
    const auto floorRow = [](double v) { return std::floor(v); };
    Pen pen;
    if (const auto start = CurveRow(response[1], ceilRow)) pen = Pen{kPlotLeft, start->y, true};
    for (int k = 1; k < steps; ++k) {
        const auto row = CurveRow(response[k], floorRow);
        if (!row) {
            pen.down = false;
            continue;
        }
        const Pen point{kPlotLeft + k, row->y, true};
        if (pen.down && row->nearImage && response[k] >= kLowestDrawnDb)
            segments.push_back({pen.x, pen.y, point.x, point.y});
        pen = point;
    }
    return segments;
}
